#pragma once

// The tool's own diagnostic log: levelled records that carry their call site,
// formatted with fmt and handed to a process-wide list of sinks.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <source_location>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include <fmt/format.h>

#include "Util/UserFiles.h"

namespace lumo::log
{
enum class Level : int
{
    Debug = 0,
    Info = 1,
    Warn = 2,
    Error = 3
};

// "DEBUG", "INFO", "WARN", "ERROR"; "UNKNOWN" for any other value.
std::string_view levelName (Level level);

// Interned logger names compare and hash by pointer. A name must be 1 to 11
// characters long; anything else is a programming error and aborts.
const std::string* intern (std::string_view name);

struct Record
{
    Level level;
    const std::string* name;
    std::source_location location;
};

class Sink
{
public:
    explicit Sink (Level minimumLevel);
    virtual ~Sink();

    // With a record: one formatted line. With a null record: the message as is (the banner).
    virtual void write (const Record* record, std::string_view message) = 0;

    std::unordered_set<const std::string*> mutedNames;
    std::mutex mutex; // guards mutedNames
    const Level level;
};

using SinkList = std::vector<std::shared_ptr<Sink>>;

// The process-wide sink list. It has no lock: it is replaced only while no
// other thread logs (once, during start-up).
extern SinkList globalSinks;

void setSinks (SinkList sinks);

struct Logger
{
    std::optional<SinkList> sinks; // empty: use globalSinks
    const std::string* name;
};

Logger makeLogger (std::string_view name);

std::string formatPrefix (const Record& record);

// The same prefix from its pieces; fileName may be null.
std::string formatPrefix (Level level, const std::string* name, const char* fileName, std::uint_least32_t line);

// The whole line of a record: prefix, message, line feed.
std::string formatLine (const Record& record, std::string_view message);

void dispatch (const SinkList& sinks, const Record& record, std::string_view message);

class Context
{
public:
    Context (const Logger& logger, std::source_location where)
        : location (where), name (logger.name), sinks (logger.sinks ? &*logger.sinks : &globalSinks)
    {
    }

    template <typename... Args>
    void info (fmt::format_string<Args...> format, Args&&... args) const
    {
        log (Level::Info, fmt::format (format, std::forward<Args> (args)...));
    }

    void log (Level level, std::string_view message) const;

    std::source_location location;
    const std::string* name;
    const SinkList* sinks;
};

// Appends to a file that the file room opened: every record goes through the
// same handle, never by the file's name again.
class FileSink final : public Sink
{
public:
    // Each line feed is stored as lineEnd (the system's text line end).
    FileSink (util::files::OpenFile file, Level minimumLevel, std::string lineEnd = "\n");
    ~FileSink() override;
    void write (const Record* record, std::string_view message) override;

private:
    std::mutex fileMutex;
    util::files::OpenFile target;
    std::string lineEnd;
};

template <typename Stream>
class StreamSink : public Sink
{
public:
    StreamSink (Stream* target, Level minimumLevel) : Sink (minimumLevel), stream (target) {}
    ~StreamSink() override = default;

    void write (const Record* record, std::string_view message) override
    {
        const auto text = record != nullptr ? formatLine (*record, message) : std::string (message);
        std::lock_guard lock (streamMutex);
        if (stream != nullptr && ! stream->fail())
            stream->write (text.data(), static_cast<std::streamsize> (text.size()));
    }

private:
    std::mutex streamMutex;
    Stream* stream;
};

template <std::ostream& target>
class StaticStreamSink : public StreamSink<std::ostream>
{
public:
    explicit StaticStreamSink (Level minimumLevel) : StreamSink<std::ostream> (&target, minimumLevel) {}
};

// Start-up: deletes the previous log file, writes the banner and makes the
// log file the only sink.
void setupLogging();

} // namespace lumo::log

// Gives the including source file its own logger, named "Triagent".
#define LUMO_LOG_FILE_LOGGER                                          \
    static ::lumo::log::Logger logger()                               \
    {                                                                 \
        static const ::lumo::log::Logger instance = ::lumo::log::makeLogger ("Triagent"); \
        return instance;                                              \
    }

// The call-site construct: captures the caller's source location.
#define LUMO_LOG_INFO(...) ::lumo::log::Context (logger(), std::source_location::current()).info (__VA_ARGS__)
