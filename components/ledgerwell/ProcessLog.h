#pragma once

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace ledgerwell {

// A connection's log file: the raw lines when raw logging is on, and the component's own
// notes. Writes are buffered and flushed with every group commit, so a busy port does not
// pay a file write per datagram; a crash loses at most the last unflushed lines.
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
    void flush();

private:
    ProcessLog(std::string path, std::FILE *file);

    std::string m_path;
    std::mutex m_mutex;
    std::FILE *m_file;
    bool m_dirty = false;
};

// The open log files by path. They stay open while the component is loaded.
class ProcessLogs
{
public:
    ProcessLog *get(const std::string &path, std::string &error);
    // Notes go to a file already open; a path never opened is opened for them.
    void note(const std::string &path, std::string_view text);
    void flushAll();

private:
    std::mutex m_mutex;
    std::unordered_map<std::string, std::unique_ptr<ProcessLog>> m_logs;
};

// Local date and time, "YYYY-MM-DD HH:MM:SS".
std::string localDateTime();

} // namespace ledgerwell
