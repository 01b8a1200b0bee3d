#include "DatagramReader.h"

#include "DatagramBatch.h"
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
#include <unistd.h>

namespace {

// Ids start above this one, which stands for the quit notice.
constexpr quint64 QuitId = 0;
// Batches read from one socket before the others get their turn.
constexpr int BatchesPerTurn = 16;
constexpr int EventsPerWait = 64;

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
    if (!m_thread.joinable() || fd < 0 || !inbox || inbox->wakeDescriptor() < 0)
        return 0;
    std::lock_guard lock(m_mutex);
    const quint64 id = ++m_lastId;
    m_sources.emplace(id, Source{fd, std::move(inbox)});
    epoll_event event = {};
    event.events = EPOLLIN;
    event.data.u64 = id;
    if (::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event) != 0) {
        m_sources.erase(id);
        return 0;
    }
    return id;
}

void DatagramReader::stop(quint64 id)
{
    std::lock_guard lock(m_mutex);
    const auto found = m_sources.find(id);
    if (found == m_sources.end())
        return;
    ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, found->second.fd, nullptr);
    // An event for this id already returned by epoll_wait finds no source, and ids are never
    // used again, so a new socket on the same descriptor number is not mistaken for it.
    m_sources.erase(found);
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
    std::int64_t lastLook = monotonicNs();
    std::int64_t sinceLook = 0; // the time over which the last look's datagrams came
    for (;;) {
        if (const std::int64_t wait = ReaderPause::after(read, sinceLook, DatagramBatch::Size))
            pause(wait);
        const int ready = ::epoll_wait(m_epoll, events, EventsPerWait, read ? 0 : -1);
        const std::int64_t look = monotonicNs();
        sinceLook = look - lastLook;
        lastLook = look;
        read = 0;
        for (int i = 0; i < ready; ++i) {
            if (events[i].data.u64 == QuitId)
                return;
            std::lock_guard lock(m_mutex);
            const auto found = m_sources.find(events[i].data.u64);
            if (found == m_sources.end())
                continue; // stopped since
            const Source &source = found->second;
            for (int turn = 0; turn < BatchesPerTurn; ++turn) {
                const int count = batch.receive(source.fd);
                if (count == 0)
                    break;
                read += count;
                source.inbox->put(batch, count);
                if (const std::optional<quint32> drops = batch.kernelDropCount(count))
                    source.inbox->noteKernelDrops(*drops);
                if (count < DatagramBatch::Size)
                    break; // drained
            }
        }
    }
}
