#include "Log/Log.h"
#include "Util/Platform.h"
#include "Util/UtilWindows.h"

#include <juce_core/juce_core.h>

namespace lumo::log
{
static const juce::File& logFile()
{
    static const juce::File file = util::getProductLogFolder().getChildFile ("Triagent.log");
    return file;
}

void setupLogging()
{
    const auto& file = logFile();
    if (file.existsAsFile())
        file.deleteFile();

    auto sink = std::make_shared<FileSink> (util::platform::toNativePath (file), Level::Info);
    const auto banner = fmt::format ("\n================\nLog started: {}\n----------------\n\n",
                                     juce::Time::getCurrentTime().toString (true, true).toStdString());
    sink->write (nullptr, banner);
    setSinks ({ std::move (sink) });
}

} // namespace lumo::log
