// Loads a running varnock_stats as a crowd would: many page requests at once, then many
// connections that send nothing, with one ordinary request (the probe) among them. Prints
// median and 95th percentile per page, whether the probe got through, and the server's
// memory. Asserts nothing.
//
//   varnock_stats_load --stats PATH --file DB [--concurrent N] [--idle N] [--sources N]
//
// The crowd comes from --sources loopback addresses (1: all from 127.0.0.1), the idle
// connections from 127.0.0.1, the probe from an address of its own.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Connects from 127.0.0.1, or from another loopback address (`source` from 1): as
// another client would.
int connectTo(int port, int source = 0)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    if (source > 0) {
        sockaddr_in from{};
        from.sin_family = AF_INET;
        from.sin_addr.s_addr = htonl(0x7F000000u + std::uint32_t(1 + source / 250) * 256u +
                                     std::uint32_t(source % 250 + 1));
        bind(fd, reinterpret_cast<sockaddr *>(&from), sizeof from);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) < 0 &&
        errno != EINPROGRESS) {
        close(fd);
        return -1;
    }
    return fd;
}

struct Request
{
    int fd = -1;
    std::string out;
    std::size_t sent = 0;
    std::string in;
    double ms = -1;
    bool done = false;
};

// Whether `in` holds a whole answer: its head and as many bytes as Content-Length says.
bool complete(const std::string &in)
{
    const std::size_t head = in.find("\r\n\r\n");
    if (head == std::string::npos)
        return false;
    std::string lower = in.substr(0, head);
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    const std::size_t at = lower.find("content-length:");
    if (at == std::string::npos)
        return false;
    return in.size() >= head + 4 + std::strtoull(lower.c_str() + at + 15, nullptr, 10);
}

// Sends every request at once and waits for all answers (or the deadline). Milliseconds of
// each answered one, from the moment all were started.
std::vector<double> crowd(int port, const std::string &path, int count, int sources,
                          double deadlineMs, int *failed)
{
    std::vector<Request> requests(static_cast<std::size_t>(count));
    const Clock::time_point start = Clock::now();
    int next = 0;
    for (Request &request : requests) {
        request.fd = connectTo(port, sources > 1 ? 1 + next++ % sources : 0);
        request.out = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
        if (request.fd < 0)
            request.done = true;
    }
    std::vector<pollfd> polls;
    std::vector<Request *> owners;
    for (;;) {
        polls.clear();
        owners.clear();
        for (Request &request : requests) {
            if (request.done)
                continue;
            polls.push_back(
                {request.fd, short(request.sent < request.out.size() ? POLLOUT : POLLIN), 0});
            owners.push_back(&request);
        }
        if (polls.empty() || msSince(start) > deadlineMs)
            break;
        if (poll(polls.data(), polls.size(), 200) <= 0)
            continue;
        for (std::size_t i = 0; i < polls.size(); ++i) {
            Request &request = *owners[i];
            if (polls[i].revents & POLLOUT) {
                const ssize_t n = send(request.fd, request.out.data() + request.sent,
                                       request.out.size() - request.sent, MSG_NOSIGNAL);
                if (n > 0)
                    request.sent += std::size_t(n);
                else if (errno != EAGAIN)
                    request.done = true;
            } else if (polls[i].revents & (POLLIN | POLLHUP | POLLERR)) {
                char buffer[65536];
                const ssize_t n = recv(request.fd, buffer, sizeof buffer, 0);
                if (n > 0)
                    request.in.append(buffer, std::size_t(n));
                if (complete(request.in)) {
                    request.ms = msSince(start);
                    request.done = true;
                } else if (n == 0 || (n < 0 && errno != EAGAIN)) {
                    request.done = true;
                }
            }
        }
    }
    std::vector<double> times;
    *failed = 0;
    for (Request &request : requests) {
        const bool ok = request.ms >= 0 && request.in.compare(0, 12, "HTTP/1.1 200") == 0;
        if (ok)
            times.push_back(request.ms);
        else
            ++*failed;
        if (request.fd >= 0)
            close(request.fd);
    }
    return times;
}

// One request over a fresh connection; milliseconds, or -1 after `deadlineMs`.
double single(int port, const std::string &path, double deadlineMs, std::string *body = nullptr,
              int source = 0)
{
    const Clock::time_point start = Clock::now();
    std::vector<Request> one(1);
    one[0].fd = connectTo(port, source);
    one[0].out = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    while (!one[0].done && msSince(start) < deadlineMs && one[0].fd >= 0) {
        pollfd p{one[0].fd, short(one[0].sent < one[0].out.size() ? POLLOUT : POLLIN), 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        if (p.revents & POLLOUT) {
            const ssize_t n = send(p.fd, one[0].out.data() + one[0].sent,
                                   one[0].out.size() - one[0].sent, MSG_NOSIGNAL);
            if (n > 0)
                one[0].sent += std::size_t(n);
        } else {
            char buffer[65536];
            const ssize_t n = recv(p.fd, buffer, sizeof buffer, 0);
            if (n > 0)
                one[0].in.append(buffer, std::size_t(n));
            if (complete(one[0].in)) {
                one[0].ms = msSince(start);
                break;
            }
            if (n == 0)
                break;
        }
    }
    if (one[0].fd >= 0)
        close(one[0].fd);
    if (body)
        *body = one[0].in;
    return one[0].ms;
}

std::string memory(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line, rss, peak;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            rss = line.substr(6);
        else if (line.rfind("VmHWM:", 0) == 0)
            peak = line.substr(6);
    }
    const auto trim = [](std::string text) {
        text.erase(0, text.find_first_not_of(" \t"));
        return text;
    };
    return "memory " + trim(rss) + " (peak " + trim(peak) + ")";
}

void report(const std::string &what, std::vector<double> times, int failed)
{
    std::sort(times.begin(), times.end());
    const auto at = [&](double q) {
        return times.empty()
                   ? -1.0
                   : times[std::min(times.size() - 1, std::size_t(q * double(times.size())))];
    };
    std::printf("%-28s answered %zu, failed %d: median %.0f ms, p95 %.0f ms, max %.0f ms\n",
                what.c_str(), times.size(), failed, at(0.5), at(0.95),
                times.empty() ? -1.0 : times.back());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    std::string stats, file;
    int concurrent = 2000, idle = 2000, sources = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        if (key == "--stats")
            stats = argv[i + 1];
        else if (key == "--file")
            file = argv[i + 1];
        else if (key == "--concurrent")
            concurrent = std::atoi(argv[i + 1]);
        else if (key == "--idle")
            idle = std::atoi(argv[i + 1]);
        else if (key == "--sources")
            sources = std::atoi(argv[i + 1]);
    }
    if (stats.empty() || file.empty()) {
        std::fprintf(stderr, "usage: varnock_stats_load --stats PATH --file DB [--concurrent N] "
                             "[--idle N] [--sources N]\n");
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    const int port = 20000 + int(getpid() % 20000);
    const pid_t child = fork();
    if (child == 0) {
        const std::string listen = "127.0.0.1:" + std::to_string(port);
        const std::string database = "Provider=SQLite;Data Source=" + file;
        execl(stats.c_str(), stats.c_str(), "--listen", listen.c_str(), "--database",
              database.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    const Clock::time_point started = Clock::now();
    for (;;) {
        std::string body;
        single(port, "/api/databases", 5000, &body);
        if (body.find("\"caught_up\":true") != std::string::npos)
            break;
        if (waitpid(child, nullptr, WNOHANG) == child) {
            std::fprintf(stderr, "varnock_stats ended\n");
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    std::printf("caught up after %.1f s; %s\n", msSince(started) / 1000, memory(child).c_str());

    for (const std::string path : {"/api/rankings", "/", "/player?id=4711"}) {
        int failed = 0;
        const std::vector<double> times = crowd(port, path, concurrent, sources, 600000, &failed);
        report(std::to_string(concurrent) + " x GET " + path, times, failed);
    }
    std::printf("after the crowds: %s\n", memory(child).c_str());

    // Idle connections: connected, nothing sent. Then one ordinary request.
    std::vector<int> idlers;
    for (int i = 0; i < idle; ++i) {
        const int fd = connectTo(port);
        if (fd >= 0)
            idlers.push_back(fd);
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    // The probe comes from an address of its own, as another visitor would.
    const double probe = single(port, "/api/rankings", 30000, nullptr, 400);
    if (probe >= 0)
        std::printf("%zu idle connections: a probe got through in %.0f ms; %s\n", idlers.size(),
                    probe, memory(child).c_str());
    else
        std::printf("%zu idle connections: a probe got no answer within 30 s; %s\n", idlers.size(),
                    memory(child).c_str());
    // How many of them the server has closed after a while.
    std::this_thread::sleep_for(std::chrono::seconds(40));
    int closed = 0;
    for (const int fd : idlers) {
        char byte;
        const ssize_t n = recv(fd, &byte, 1, MSG_DONTWAIT);
        closed += n == 0 || (n < 0 && errno != EAGAIN) ? 1 : 0;
        close(fd);
    }
    std::printf("40 s later the server had closed %d of them\n", closed);
    const double after = single(port, "/api/rankings", 30000);
    std::printf("a request after that: %s\n",
                after >= 0 ? (std::to_string(int(after)) + " ms").c_str() : "no answer");
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    return 0;
}
