#include "Log/Log.h"

#include <cstdlib>
#include <fstream>
#include <iostream>

namespace lumo::log
{
std::string_view levelName (Level level)
{
    switch (level)
    {
        case Level::Debug: return "DEBUG";
        case Level::Info:  return "INFO";
        case Level::Warn:  return "WARN";
        case Level::Error: return "ERROR";
    }
    return "UNKNOWN";
}

const std::string* intern (std::string_view name)
{
    if (name.empty() || name.size() > 11)
        std::abort();

    static std::mutex registryMutex;
    static std::unordered_set<std::string> registry;
    std::lock_guard lock (registryMutex);
    return &*registry.emplace (name).first;
}

Sink::Sink (Level minimumLevel) : level (minimumLevel) {}
Sink::~Sink() = default;

SinkList globalSinks { std::make_shared<StaticStreamSink<std::cerr>> (Level::Error) };

void setSinks (SinkList sinks)
{
    globalSinks = std::move (sinks);
}

Logger makeLogger (std::string_view name)
{
    return Logger { std::nullopt, intern (name) };
}

std::string formatPrefix (Level level, const std::string* name, const char* fileName, std::uint_least32_t line)
{
    std::string prefix;
    fmt::format_to (std::back_inserter (prefix), "[{:5}]", levelName (level));

    if (name != nullptr && ! name->empty())
        fmt::format_to (std::back_inserter (prefix), "<{:^{}}>", *name, 11);

    std::string where = "unknown";
    if (fileName != nullptr)
    {
        std::string_view file (fileName);
        const auto cut = file.find_last_of ("/\\");
        const auto base = cut == std::string_view::npos ? file : file.substr (cut + 1);
        where = fmt::format ("{}:{}", base, line);
    }
    fmt::format_to (std::back_inserter (prefix), "{{{}}}", where);
    prefix += " ";
    return prefix;
}

std::string formatPrefix (const Record& record)
{
    return formatPrefix (record.level, record.name, record.location.file_name(), record.location.line());
}

std::string formatLine (const Record& record, std::string_view message)
{
    auto line = formatPrefix (record);
    fmt::format_to (std::back_inserter (line), "{}\n", message);
    return line;
}

void dispatch (const SinkList& sinks, const Record& record, std::string_view message)
{
    for (const auto& sink : sinks)
    {
        if (sink == nullptr || record.level < sink->level)
            continue;

        bool muted = false;
        {
            std::lock_guard lock (sink->mutex);
            muted = sink->mutedNames.contains (record.name);
        }
        if (! muted)
            sink->write (&record, message);
    }
}

void Context::log (Level level, std::string_view message) const
{
    const Record record { level, name, location };
    dispatch (*sinks, record, message);
}

FileSink::FileSink (util::files::OpenFile file, Level minimumLevel, std::string lineEndText)
    : Sink (minimumLevel), target (std::move (file)), lineEnd (std::move (lineEndText))
{
}
FileSink::~FileSink() = default;

void FileSink::write (const Record* record, std::string_view message)
{
    auto text = record != nullptr ? formatLine (*record, message) : std::string (message);
    if (lineEnd != "\n")
    {
        std::string converted;
        converted.reserve (text.size() + 8);
        for (const char c : text)
            if (c == '\n')
                converted.append (lineEnd);
            else
                converted.push_back (c);
        text = std::move (converted);
    }
    std::lock_guard lock (fileMutex);
    // Unbuffered: each record is with the system when write returns.
    if (target.isOpen())
        target.write (text.data(), text.size());
}

} // namespace lumo::log
