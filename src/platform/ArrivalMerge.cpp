#include "ArrivalMerge.h"

#include <algorithm>
#include <cstring>
#include <limits>

ArrivalMerge::ArrivalMerge(int sockets)
    : m_latest(std::size_t(std::max(sockets, 1)), std::numeric_limits<std::int64_t>::min())
    , m_left(m_latest.size(), false)
{
}

void ArrivalMerge::add(int socket, std::int64_t arrivalNs, std::int64_t readNs,
                       const DatagramView &datagram)
{
    std::int64_t &latest = m_latest.at(std::size_t(socket));
    latest = std::max(latest, arrivalNs);
    const std::size_t offset = m_bytes.size();
    m_bytes.insert(m_bytes.end(), datagram.data, datagram.data + datagram.size);
    DatagramView view = datagram;
    view.data = nullptr;
    m_held.push_back({arrivalNs, readNs, offset, view});
}

const std::vector<DatagramView> &ArrivalMerge::release(std::int64_t nowNs)
{
    m_released.clear();
    if (m_held.empty())
        return m_released;
    // Every socket has shown all it holds that arrived up to here.
    const std::int64_t shown = *std::min_element(m_latest.begin(), m_latest.end());
    // What waited long enough goes too, but never past what a socket still holds unread.
    std::int64_t waited = std::numeric_limits<std::int64_t>::min();
    for (const Held &held : m_held) {
        if (nowNs - held.readNs >= HoldNs)
            waited = std::max(waited, held.arrivalNs);
    }
    for (std::size_t socket = 0; socket < m_latest.size(); ++socket) {
        if (m_left[socket])
            waited = std::min(waited, m_latest[socket]);
    }
    const std::int64_t through = std::max(shown, waited);
    // Stable: two stamps alike keep the order they were read in.
    std::stable_sort(m_held.begin(), m_held.end(),
                     [](const Held &a, const Held &b) { return a.arrivalNs < b.arrivalNs; });
    const auto kept = std::find_if(m_held.begin(), m_held.end(),
                                   [through](const Held &h) { return h.arrivalNs > through; });
    m_releasedBytes.clear();
    for (auto it = m_held.begin(); it != kept; ++it)
        m_releasedBytes.insert(m_releasedBytes.end(), m_bytes.data() + it->offset,
                               m_bytes.data() + it->offset + it->datagram.size);
    std::size_t at = 0;
    for (auto it = m_held.begin(); it != kept; ++it) {
        DatagramView view = it->datagram;
        view.data = m_releasedBytes.data() + at;
        at += std::size_t(view.size);
        m_released.push_back(view);
    }
    // What stays is moved to the front of the bytes, so they never grow past what is held.
    std::vector<char> &remaining = m_spareBytes;
    remaining.clear();
    for (auto it = kept; it != m_held.end(); ++it) {
        const std::size_t offset = remaining.size();
        remaining.insert(remaining.end(), m_bytes.data() + it->offset,
                         m_bytes.data() + it->offset + it->datagram.size);
        it->offset = offset;
    }
    m_bytes.swap(remaining);
    m_held.erase(m_held.begin(), kept);
    return m_released;
}

std::int64_t ArrivalMerge::nextDueNs() const
{
    std::int64_t earliest = std::numeric_limits<std::int64_t>::max();
    for (const Held &held : m_held)
        earliest = std::min(earliest, held.readNs);
    return earliest + HoldNs;
}
