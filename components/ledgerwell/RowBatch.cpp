#include "RowBatch.h"

#include <algorithm>

namespace ledgerwell {

void RowBatch::countDatagram(Clock::time_point now, const std::string &logPath)
{
    if (m_datagrams++ == 0)
        m_opened = now;
    if (!logPath.empty() &&
        std::find(m_logPaths.begin(), m_logPaths.end(), logPath) == m_logPaths.end())
        m_logPaths.push_back(logPath);
}

} // namespace ledgerwell
