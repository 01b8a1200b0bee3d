#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>

namespace ledgerwell {

// A connection's log file: the raw lines when raw logging is on, and the component's own
// notes. Lines are gathered in memory and written by the thread that flushes the logs, so
// the program's thread pays a copy per line, not a file write; a crash loses at most the
// lines of the last tenth of a second.
class ProcessLog
{
public:
    ~ProcessLog();
    ProcessLog(const ProcessLog &) = delete;
    ProcessLog &operator=(const ProcessLog &) = delete;

    static std::unique_ptr<ProcessLog> open(const std::string &path, std::string &error);

    const std::string &path() const { return m_path; }
    void rawLine(std::string_view line);
    // One line: date and time, then the text with control characters shown as '?'.
    void note(std::string_view text);
    // A line Ledgerwell could not read, of a kind ("no time", "kill" ...). The first of a
    // kind is noted at once; later ones in one summary line a minute, not one by one.
    void countUnread(std::string_view kind, std::string_view example);
    // A line whose names allow several readings that the server's word does not tell apart,
    // so it is credited to nobody. Noted like lines not understood: the first at once, later
    // ones in the summary.
    void countAmbiguous(std::string_view example);
    // Writes what was gathered, and the summary when a minute has passed since the last
    // one, or now when final.
    void flush(bool final = false);

private:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::minutes SummaryPeriod{1};
    // A log that is not flushed in time (a slow disk) is written by the line that fills it.
    static constexpr std::size_t MaxGathered = 4 * 1024 * 1024;

    struct Unread
    {
        std::uint64_t lines = 0;
        std::string example;
    };

    ProcessLog(std::string path, std::FILE *file);
    void writeNote(std::string_view text);
    void summarise(Clock::time_point now, bool final);
    void writeGathered();

    std::string m_path;
    std::mutex m_writeMutex; // one write at a time, in order
    std::FILE *m_file;
    std::string m_writing;
    std::mutex m_mutex;
    std::string m_gathered;
    std::map<std::string, Unread, std::less<>> m_unread;
    std::set<std::string> m_seenKinds;
    Unread m_ambiguous;
    bool m_ambiguousNoted = false;
    Clock::time_point m_lastSummary = Clock::now();
};

// The open log files by path. They stay open while the component is loaded.
class ProcessLogs
{
public:
    ProcessLog *get(const std::string &path, std::string &error);
    // Notes go to a file already open; a path never opened is opened for them.
    void note(const std::string &path, std::string_view text);
    void flushAll(bool final = false);

private:
    std::mutex m_mutex;
    std::unordered_map<std::string, std::unique_ptr<ProcessLog>> m_logs;
};

// Local date and time, "YYYY-MM-DD HH:MM:SS".
std::string localDateTime();

} // namespace ledgerwell
