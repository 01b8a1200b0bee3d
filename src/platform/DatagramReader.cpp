#include "DatagramReader.h"

#include "DatagramBatch.h"
#include "DatagramSocket.h"
#include "PromptWakeUps.h"
#include "ReaderPause.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <ctime>

#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Ids start above this one, which stands for the quit notice.
constexpr quint64 QuitId = 0;
// An event names its source's id and which of the source's sockets is ready.
constexpr int SocketBits = 8;
static_assert(DatagramSocket::MostSockets <= (1 << SocketBits));
// Batches read from one socket before the others get their turn.
constexpr int BatchesPerTurn = 16;
constexpr int EventsPerWait = 256;

// Every thread the calling one starts from now on inherits its priority: the program's own
// thread and the component's writer threads, which take most of the CPU a datagram costs, then
// give way to the reader whenever it wakes, and the reader, which takes little and sleeps in
// between, is never kept waiting behind them while the kernel's buffer fills. Lowering one's own
// priority needs no privilege.
constexpr int YieldSteps = 10;

void yieldToReader()
{
    const int current = ::getpriority(PRIO_PROCESS, 0); // on Linux, the calling thread's
    ::setpriority(PRIO_PROCESS, 0, std::min(current + YieldSteps, 19));
}

std::int64_t monotonicNs()
{
    timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void pause(std::int64_t nanoseconds)
{
    timespec left = {0, long(nanoseconds)};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

} // namespace

DatagramReader &DatagramReader::shared()
{
    static DatagramReader reader;
    return reader;
}

DatagramReader::DatagramReader()
    : m_epoll(::epoll_create1(EPOLL_CLOEXEC))
    , m_quitFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
    if (m_epoll < 0 || m_quitFd < 0)
        return;
    epoll_event event = {};
    event.events = EPOLLIN;
    event.data.u64 = QuitId;
    if (::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_quitFd, &event) != 0)
        return;
    m_thread = std::thread([this] { run(); });
    yieldToReader();
}

DatagramReader::~DatagramReader()
{
    if (m_thread.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_quitFd, &one, sizeof one);
        m_thread.join();
    }
    if (m_quitFd >= 0)
        ::close(m_quitFd);
    if (m_epoll >= 0)
        ::close(m_epoll);
}

quint64 DatagramReader::start(int fd, std::shared_ptr<DatagramInbox> inbox)
{
    return start(std::vector<int>{fd}, std::move(inbox));
}

quint64 DatagramReader::start(const std::vector<int> &fds, std::shared_ptr<DatagramInbox> inbox)
{
    const bool valid =
        !fds.empty() && std::all_of(fds.begin(), fds.end(), [](int fd) { return fd >= 0; });
    if (!m_thread.joinable() || !valid || fds.size() > DatagramSocket::MostSockets || !inbox ||
        inbox->wakeDescriptor() < 0)
        return 0;
    std::lock_guard lock(m_mutex);
    const quint64 id = ++m_lastId;
    Source source{fds, std::move(inbox), nullptr};
    if (fds.size() > 1)
        source.merge = std::make_unique<ArrivalMerge>(int(fds.size()));
    for (std::size_t i = 0; i < fds.size(); ++i) {
        epoll_event event = {};
        event.events = EPOLLIN;
        event.data.u64 = id << SocketBits | i;
        if (::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fds[i], &event) != 0) {
            for (std::size_t added = 0; added < i; ++added)
                ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, fds[added], nullptr);
            return 0;
        }
    }
    m_sources.emplace(id, std::move(source));
    measureRoom();
    return id;
}

void DatagramReader::stop(quint64 id)
{
    std::lock_guard lock(m_mutex);
    const auto found = m_sources.find(id);
    if (found == m_sources.end())
        return;
    for (const int fd : found->second.fds)
        ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
    // An event for this id already returned by epoll_wait finds no source, and ids are never
    // used again, so a new socket on the same descriptor number is not mistaken for it.
    m_sources.erase(found);
    measureRoom();
}

void DatagramReader::measureRoom()
{
    // An eighth of what the kernel may hold, at 1 KiB a datagram (it counts a small one at
    // about 800 bytes): what a pause lets pile up leaves the rest for a late wake-up.
    qint64 smallest = -1;
    for (const auto &[id, source] : m_sources) {
        qint64 bytes = 0;
        for (const int fd : source.fds) {
            int buffer = 0;
            socklen_t length = sizeof buffer;
            if (::getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, &length) == 0)
                bytes += buffer;
        }
        smallest = smallest < 0 ? bytes : std::min(smallest, bytes);
    }
    m_room.store(std::max<qint64>(DatagramBatch::Size, smallest / (8 * 1024)));
}

void DatagramReader::run()
{
    pthread_setname_np(pthread_self(), "varnock-reader");
    // Without privileges the kernel's buffer covers a few milliseconds of a flood, so the
    // reader must get a core soon after it wakes. It sleeps again within microseconds, so it
    // takes no more than its share.
    askForPromptWakeUps();
    DatagramBatch batch;
    epoll_event events[EventsPerWait];
    std::int64_t read = 0; // by the last look: more are likely on their way
    bool left = false;     // the last look left datagrams waiting
    std::int64_t lastLook = monotonicNs();
    std::int64_t sinceLook = 0; // the time over which the last look's datagrams came
    for (;;) {
        // A socket left with datagrams after its turn is read again at once.
        if (const std::int64_t wait = ReaderPause::after(read, sinceLook, m_room.load());
            wait && !left)
            pause(wait);
        const int ready = ::epoll_wait(m_epoll, events, EventsPerWait, read ? 0 : waitMs(lastLook));
        const std::int64_t look = monotonicNs();
        sinceLook = look - lastLook;
        lastLook = look;
        read = 0;
        left = false;
        for (int i = 0; i < ready; ++i) {
            if (events[i].data.u64 == QuitId)
                return;
            std::lock_guard lock(m_mutex);
            const auto found = m_sources.find(events[i].data.u64 >> SocketBits);
            if (found == m_sources.end())
                continue; // stopped since
            const int socket = int(events[i].data.u64 & ((1 << SocketBits) - 1));
            read += readSocket(found->second, socket, batch, left);
        }
        releaseDue(monotonicNs());
    }
}

std::int64_t DatagramReader::readSocket(Source &source, int socket, DatagramBatch &batch,
                                        bool &left)
{
    std::int64_t read = 0;
    for (int turn = 0; turn < BatchesPerTurn; ++turn) {
        const int count = batch.receive(source.fds.at(std::size_t(socket)));
        if (source.merge) {
            // The merge lets them go once nothing that arrived before them can still come.
            const std::int64_t now = monotonicNs();
            for (int i = 0; i < count; ++i)
                source.merge->add(socket, batch.arrivalNs(i), now, batch.at(i));
        } else if (count > 0) {
            source.inbox->put(batch, count);
        }
        read += count;
        if (const std::optional<quint32> drops = batch.kernelDropCount(count))
            source.inbox->noteKernelDrops(*drops, socket);
        if (count < DatagramBatch::Size) {
            if (source.merge)
                source.merge->setLeft(socket, false);
            return read; // drained
        }
    }
    if (source.merge)
        source.merge->setLeft(socket, true);
    left = true;
    return read;
}

int DatagramReader::waitMs(std::int64_t nowNs)
{
    std::lock_guard lock(m_mutex);
    std::int64_t due = -1;
    for (const auto &[id, source] : m_sources) {
        if (source.merge && source.merge->isHolding()) {
            const std::int64_t next = source.merge->nextDueNs();
            due = due < 0 ? next : std::min(due, next);
        }
    }
    if (due < 0)
        return -1;
    return int(std::clamp<std::int64_t>((due - nowNs + 999999) / 1000000, 0, 1000));
}

void DatagramReader::releaseDue(std::int64_t nowNs)
{
    std::lock_guard lock(m_mutex);
    for (auto &[id, source] : m_sources) {
        if (!source.merge || !source.merge->isHolding())
            continue;
        if (const std::vector<DatagramView> &due = source.merge->release(nowNs); !due.empty())
            source.inbox->put(due);
    }
}
