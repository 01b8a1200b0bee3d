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

void RowBatch::recycle()
{
    m_steps.clear();
    m_values.clear();
    m_bytes = 0;
    m_datagrams = 0;
    m_opened = {};
    m_logPaths.clear();
    m_forgotten.clear();
}

RowBatch RowBatch::restored(std::vector<Step> steps, std::vector<Value> values,
                            std::uint32_t datagrams, std::vector<std::string> logPaths)
{
    RowBatch batch;
    batch.m_bytes = steps.size() * sizeof(Step) + values.size() * sizeof(Value);
    for (const Value &value : values)
        batch.m_bytes += value.bytes.size();
    batch.m_steps = std::move(steps);
    batch.m_values = std::move(values);
    batch.m_datagrams = datagrams;
    batch.m_opened = Clock::now();
    batch.m_logPaths = std::move(logPaths);
    return batch;
}

} // namespace ledgerwell
