#include "Log/Log.h"
#include "Util/Platform.h"
#include "Util/UserFiles.h"
#include "Util/UtilWindows.h"

#include <juce_core/juce_core.h>

#include <iostream>

namespace lumo::log
{
static const juce::File& logFile()
{
    static const juce::File file = util::getProductLogFolder().getChildFile ("Triagent.log");
    return file;
}

void setupLogging()
{
    // A fresh file with its banner renamed over the previous log: nothing is
    // deleted by name, and a planted link is replaced, never followed.
    const auto& file = logFile();
    const auto lineEnd = std::string (util::platform::textLineEnd());
    const auto banner = fmt::format ("{0}================{0}Log started: {1}{0}----------------{0}{0}", lineEnd,
                                     juce::Time::getCurrentTime().toString (true, true).toStdString());
    // An earlier log of this process is let go first: Windows renames over no open file.
    setSinks ({});
    auto opened = util::files::replaceAndKeepOpen (file, banner.data(), banner.size());
    if (! opened)
    {
        // Without a log folder there is no log. A folder that is a link or
        // junction is refused; standard error is the only place left to say so.
        const bool refused = opened.refusal == util::files::Refusal::link;
        auto sinks = SinkList {};
        if (refused)
        {
            auto err = std::make_shared<StaticStreamSink<std::cerr>> (Level::Info);
            err->write (nullptr, "Refused the log file, its folder is not a real folder: " + file.getFullPathName().toStdString() + "\n");
            sinks.push_back (std::move (err));
        }
        setSinks (std::move (sinks));
        return;
    }
    setSinks ({ std::make_shared<FileSink> (std::move (opened.file), Level::Info, lineEnd) });
}

} // namespace lumo::log
