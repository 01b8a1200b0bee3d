#include "ProcessLog.h"

#include "TextRules.h"

#include <cerrno>
#include <cstring>
#include <ctime>

namespace ledgerwell {

std::string localDateTime()
{
    const std::time_t now = std::time(nullptr);
    std::tm local = {};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::unique_ptr<ProcessLog> ProcessLog::open(const std::string &path, std::string &error)
{
    std::FILE *file = std::fopen(path.c_str(), "ab");
    if (!file) {
        error = "The log file " + path + " cannot be written: " + std::strerror(errno);
        return nullptr;
    }
    return std::unique_ptr<ProcessLog>(new ProcessLog(path, file));
}

ProcessLog::ProcessLog(std::string path, std::FILE *file)
    : m_path(std::move(path))
    , m_file(file)
{
}

ProcessLog::~ProcessLog()
{
    flush(true);
    std::fclose(m_file);
}

void ProcessLog::rawLine(std::string_view line)
{
    bool full;
    {
        std::lock_guard lock(m_mutex);
        m_gathered.append(line);
        m_gathered.push_back('\n');
        full = m_gathered.size() >= MaxGathered;
    }
    if (full)
        writeGathered();
}

void ProcessLog::note(std::string_view text)
{
    std::lock_guard lock(m_mutex);
    writeNote(text);
}

void ProcessLog::writeNote(std::string_view text)
{
    m_gathered += localDateTime() + " Ledgerwell: " + noteExcerpt(text, 1000) + "\n";
}

void ProcessLog::countUnread(std::string_view kind, std::string_view example)
{
    std::lock_guard lock(m_mutex);
    // The first line of a kind is noted at once, so a new problem shows without delay.
    if (m_seenKinds.insert(std::string(kind)).second) {
        writeNote("a line was not understood (" + std::string(kind) + "): " + std::string(example) +
                  "; more lines of this kind are counted once a minute.");
        return;
    }
    auto found = m_unread.find(kind);
    if (found == m_unread.end())
        found = m_unread.emplace(std::string(kind), Unread{0, noteExcerpt(example)}).first;
    ++found->second.lines;
}

void ProcessLog::countAmbiguous(std::string_view example)
{
    std::lock_guard lock(m_mutex);
    if (!m_ambiguousNoted) {
        m_ambiguousNoted = true;
        writeNote("a line was credited to nobody (ambiguous players): " + std::string(example) +
                  "; more such lines are counted once a minute.");
        return;
    }
    if (m_ambiguous.lines++ == 0)
        m_ambiguous.example = noteExcerpt(example);
}

void ProcessLog::summarise(Clock::time_point now, bool final)
{
    if ((m_unread.empty() && m_ambiguous.lines == 0) ||
        (!final && now - m_lastSummary < SummaryPeriod))
        return;
    if (!m_unread.empty()) {
        std::string text = "lines not understood since the last summary:";
        for (const auto &[kind, unread] : m_unread)
            text += " " + std::to_string(unread.lines) + " " + kind + " (first: " + unread.example +
                    ");";
        text.back() = '.';
        writeNote(text);
        m_unread.clear();
    }
    if (m_ambiguous.lines > 0) {
        writeNote("lines credited to nobody since the last summary: " +
                  std::to_string(m_ambiguous.lines) +
                  " ambiguous players (first: " + m_ambiguous.example + ").");
        m_ambiguous = Unread();
    }
    m_lastSummary = now;
}

void ProcessLog::flush(bool final)
{
    {
        std::lock_guard lock(m_mutex);
        summarise(Clock::now(), final);
    }
    writeGathered();
}

void ProcessLog::writeGathered()
{
    std::lock_guard write(m_writeMutex);
    {
        std::lock_guard lock(m_mutex);
        if (m_gathered.empty())
            return;
        m_writing.swap(m_gathered);
    }
    std::fwrite(m_writing.data(), 1, m_writing.size(), m_file);
    std::fflush(m_file);
    m_writing.clear();
}

ProcessLog *ProcessLogs::get(const std::string &path, std::string &error)
{
    std::lock_guard lock(m_mutex);
    const auto found = m_logs.find(path);
    if (found != m_logs.end())
        return found->second.get();
    std::unique_ptr<ProcessLog> log = ProcessLog::open(path, error);
    if (!log)
        return nullptr;
    return m_logs.emplace(path, std::move(log)).first->second.get();
}

void ProcessLogs::note(const std::string &path, std::string_view text)
{
    std::string error;
    if (ProcessLog *log = get(path, error))
        log->note(text);
}

void ProcessLogs::flushAll(bool final)
{
    std::lock_guard lock(m_mutex);
    for (auto &[path, log] : m_logs)
        log->flush(final);
}

} // namespace ledgerwell
