#include "ProcessLog.h"

#include "TextRules.h"

#include <cerrno>
#include <cstring>
#include <ctime>

namespace ledgerwell {

namespace {

constexpr std::size_t BufferBytes = 64 * 1024;

} // namespace

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
    std::setvbuf(file, nullptr, _IOFBF, BufferBytes);
    return std::unique_ptr<ProcessLog>(new ProcessLog(path, file));
}

ProcessLog::ProcessLog(std::string path, std::FILE *file)
    : m_path(std::move(path))
    , m_file(file)
{
}

ProcessLog::~ProcessLog()
{
    std::fclose(m_file);
}

void ProcessLog::rawLine(std::string_view line)
{
    std::lock_guard lock(m_mutex);
    std::fwrite(line.data(), 1, line.size(), m_file);
    std::fputc('\n', m_file);
    m_dirty = true;
}

void ProcessLog::note(std::string_view text)
{
    const std::string line = localDateTime() + " Ledgerwell: " + noteExcerpt(text, 1000) + "\n";
    std::lock_guard lock(m_mutex);
    std::fwrite(line.data(), 1, line.size(), m_file);
    m_dirty = true;
}

void ProcessLog::flush()
{
    std::lock_guard lock(m_mutex);
    if (m_dirty) {
        std::fflush(m_file);
        m_dirty = false;
    }
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

void ProcessLogs::flushAll()
{
    std::lock_guard lock(m_mutex);
    for (auto &[path, log] : m_logs)
        log->flush();
}

} // namespace ledgerwell
