// Posts a log file's lines to 127.0.0.1:PORT over HTTP as a CS2 server does: lines in the
// posted time form, several to a post, with the stream offsets and the server's headers, one
// post at a time over a kept-alive connection, each after the answer to the one before.
//
//   ledgerwell_httpgen --file LOG --port PORT [--rate LINES_PER_SECOND] [--count N]
//                      [--per-post N]
//       (--rate 0, the default: as fast as the answers come)
//
// Prints what was sent, the answers that were not 200 and the rate reached.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

namespace {

const char *argument(int argc, char *argv[], const char *name, const char *fallback)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0)
            return argv[i + 1];
    }
    return fallback;
}

// "L MM/DD/YYYY - hh:mm:ss: event" as CS2 posts it: "MM/DD/YYYY - hh:mm:ss.000 - event".
std::string posted(const std::string &line)
{
    if (line.size() > 25 && line.compare(0, 2, "L ") == 0 && line.compare(23, 2, ": ") == 0)
        return line.substr(2, 21) + ".000 - " + line.substr(25) + "\n";
    return line + "\n";
}

double now()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

int connectTo(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    sockaddr_in target = {};
    target.sin_family = AF_INET;
    target.sin_port = htons(uint16_t(port));
    target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&target), sizeof target) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The status of the answer on fd, reading it whole; 0 when the connection ended.
int readAnswer(int fd, std::string &buffer)
{
    for (;;) {
        const size_t head = buffer.find("\r\n\r\n");
        if (head != std::string::npos) {
            size_t length = 0;
            const size_t at = buffer.find("Content-Length:");
            if (at != std::string::npos && at < head)
                length = std::strtoul(buffer.c_str() + at + 15, nullptr, 10);
            if (buffer.size() >= head + 4 + length) {
                const int status = std::atoi(buffer.c_str() + 9);
                buffer.erase(0, head + 4 + length);
                return status;
            }
        }
        char chunk[4096];
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            return 0;
        buffer.append(chunk, size_t(n));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    const char *file = argument(argc, argv, "--file", nullptr);
    const int port = std::atoi(argument(argc, argv, "--port", "0"));
    const double rate = std::atof(argument(argc, argv, "--rate", "0"));
    const long perPost = std::max(1L, std::atol(argument(argc, argv, "--per-post", "100")));
    if (!file || port <= 0 || rate < 0) {
        std::fprintf(stderr, "usage: ledgerwell_httpgen --file LOG --port PORT [--rate N] "
                             "[--count N] [--per-post N]\n");
        return 2;
    }
    std::vector<std::string> lines;
    {
        std::ifstream in(file);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty())
                lines.push_back(posted(line));
        }
    }
    if (lines.empty()) {
        std::fprintf(stderr, "no lines in %s\n", file);
        return 1;
    }
    const long count =
        std::atol(argument(argc, argv, "--count", std::to_string(lines.size()).c_str()));

    int fd = connectTo(port);
    if (fd < 0) {
        std::perror("connect");
        return 1;
    }
    std::string buffer;
    long sent = 0, refused = 0, reconnects = 0;
    long long offset = 0;
    const double start = now();
    while (sent < count) {
        const long n = std::min(perPost, count - sent);
        std::string body;
        for (long i = 0; i < n; ++i)
            body += lines[size_t((sent + i) % long(lines.size()))];
        std::string request =
            "POST /log HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: Valve/Steam HTTP Client 1.0 "
            "(730)\r\nContent-Type: text/plain\r\nX-Server-Addr: 203.0.113.50:27015\r\n"
            "X-Server-Instance-Token: 3b1d5e7a9c2f4e60\r\nX-LogBytes-BeginOffset: " +
            std::to_string(offset) + "\r\nX-LogBytes-EndOffset: " +
            std::to_string(offset + static_cast<long long>(body.size())) +
            "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
        int status = 0;
        if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size()))
            status = readAnswer(fd, buffer);
        if (status == 0) {
            // The connection ended (an idle timeout): a server connects again and resends.
            ::close(fd);
            buffer.clear();
            fd = connectTo(port);
            ++reconnects;
            if (fd < 0 || reconnects > 100)
                break;
            continue;
        }
        if (status != 200) {
            ++refused; // a server sends the same post again later
            continue;
        }
        offset += static_cast<long long>(body.size());
        sent += n;
        if (rate > 0) {
            const double due = start + double(sent) / rate;
            const double wait = due - now();
            if (wait > 0) {
                timespec pause{time_t(wait), long((wait - double(time_t(wait))) * 1e9)};
                nanosleep(&pause, nullptr);
            }
        }
    }
    const double seconds = now() - start;
    std::printf("sent=%ld\nnot_ok_answers=%ld\nreconnects=%ld\nsend_seconds=%.3f\nsend_rate=%.0f\n",
                sent, refused, reconnects, seconds, double(sent) / seconds);
    if (fd >= 0)
        ::close(fd);
    return 0;
}
