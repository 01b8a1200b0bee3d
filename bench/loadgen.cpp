// Replays a log file as HL1 log datagrams to 127.0.0.1:PORT at a given rate, with sendmmsg.
//
//   ledgerwell_loadgen --file LOG --port PORT --rate DATAGRAMS_PER_SECOND [--count N]
//       (--rate 0: a burst, as fast as the sender can)
//   ledgerwell_loadgen --write-log LOG --lines N
//
// The file is sent line by line, from the top again when --count is larger than the file.
// --write-log makes a synthetic match log: connects, team joins, kills, actions, chat and a
// map change every few thousand lines, so every table gets rows.
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <netinet/in.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
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

std::string timestamp(long second)
{
    const long day = 1 + second / 86400 % 28; // always a valid date in March
    const long rest = second % 86400;
    char text[64];
    std::snprintf(text, sizeof text, "L 03/%02ld/2026 - %02ld:%02ld:%02ld: ", day, rest / 3600,
                  rest / 60 % 60, rest % 60);
    return text;
}

int writeLog(const char *path, long lines)
{
    std::ofstream out(path);
    if (!out)
        return 1;
    const char *teams[] = {"CT", "TERRORIST"};
    const char *weapons[] = {"ak47", "m4a1", "awp", "deagle", "usp", "glock", "knife", "hegrenade"};
    const char *maps[] = {"de_dust2", "de_inferno", "de_nuke", "de_train", "cs_office"};
    const int players = 20;
    long written = 0, second = 0;
    int map = 0;
    unsigned seed = 12345;
    const auto random = [&seed](unsigned range) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % range;
    };
    const auto player = [&](int p) {
        return "\"Player" + std::to_string(p) + "<" + std::to_string(p + 2) +
               "><STEAM_0:" + std::to_string(p % 2) + ":" + std::to_string(100000 + p) + "><" +
               teams[p % 2] + ">\"";
    };
    const auto line = [&](const std::string &event) {
        out << timestamp(second) << event << '\n';
        ++written;
    };
    while (written < lines) {
        line("Log file started (file \"logs/L" + std::to_string(map) +
             ".log\") (game \"cstrike\") (version \"48/1.1.2.7/Stdio/8684\")");
        line(std::string("Loading map \"") + maps[map % 5] + "\"");
        line("Server cvars start");
        line("Server cvar \"mp_timelimit\" = \"" + std::to_string(20 + map % 3 * 5) + "\"");
        line("Server cvar \"hostname\" = \"Varnock Bench Server\"");
        line("Server cvars end");
        line(std::string("Started map \"") + maps[map % 5] + "\" (CRC \"" + std::to_string(map) +
             "\")");
        for (int p = 0; p < players; ++p) {
            line("\"Player" + std::to_string(p) + "<" + std::to_string(p + 2) +
                 "><STEAM_0:" + std::to_string(p % 2) + ":" + std::to_string(100000 + p) +
                 "><>\" connected, address \"10.1.0." + std::to_string(p + 1) + ":27005\"");
            line("\"Player" + std::to_string(p) + "<" + std::to_string(p + 2) +
                 "><STEAM_0:" + std::to_string(p % 2) + ":" + std::to_string(100000 + p) +
                 "><>\" joined team \"" + teams[p % 2] + "\"");
        }
        for (int i = 0; i < 5000 && written < lines; ++i) {
            second += random(2);
            const int a = int(random(players));
            const int b = (a + 1 + int(random(players - 1))) % players;
            switch (random(10)) {
            case 0:
                line(player(a) + " triggered \"Planted_The_Bomb\"");
                break;
            case 1:
                line(player(a) + " say \"gg " + std::to_string(random(50)) + "\"");
                break;
            case 2:
                line(player(a) + " attacked " + player(b) + " with \"" + weapons[random(8)] +
                     "\" (damage \"" + std::to_string(random(100)) + "\")");
                break;
            case 3:
                line("World triggered \"Round_Start\"");
                break;
            default:
                line(player(a) + " killed " + player(b) + " with \"" + weapons[random(8)] + "\"");
            }
        }
        if (written < lines)
            line("Log file closed");
        ++map;
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (const char *path = argument(argc, argv, "--write-log", nullptr))
        return writeLog(path, std::atol(argument(argc, argv, "--lines", "200000")));

    const char *file = argument(argc, argv, "--file", nullptr);
    const int port = std::atoi(argument(argc, argv, "--port", "0"));
    const double rate = std::atof(argument(argc, argv, "--rate", "10000"));
    const bool burst = rate == 0;
    if (!file || port <= 0 || rate < 0) {
        std::fprintf(stderr, "usage: ledgerwell_loadgen --file LOG --port PORT --rate N "
                             "[--count N] | --write-log LOG --lines N\n");
        return 2;
    }
    std::vector<std::string> datagrams;
    {
        std::ifstream in(file);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty())
                datagrams.push_back(std::string("\xFF\xFF\xFF\xFFlog ") + line +
                                    std::string("\n\0", 2));
        }
    }
    if (datagrams.empty()) {
        std::fprintf(stderr, "no lines in %s\n", file);
        return 1;
    }
    const long count =
        std::atol(argument(argc, argv, "--count", std::to_string(datagrams.size()).c_str()));

    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    int sendBuffer = 4 << 20;
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
    sockaddr_in target = {};
    target.sin_family = AF_INET;
    target.sin_port = htons(uint16_t(port));
    target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&target), sizeof target) != 0) {
        std::perror("connect");
        return 1;
    }

    // Batches small enough to keep the stream even: one batch every 100 microseconds or so.
    const long batch = burst ? 64L : std::max(1L, std::min(64L, long(rate / 10000)));
    const double interval = burst ? 0 : double(batch) / rate;
    std::vector<mmsghdr> messages(static_cast<size_t>(batch));
    std::vector<iovec> vectors(static_cast<size_t>(batch));
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    long sent = 0, errors = 0, batches = 0;
    // How far behind its schedule the sender fell: behind, it sends what is due at once, a
    // burst the receiver's buffers must take.
    double mostBehind = 0;
    while (sent < count) {
        const long n = std::min(batch, count - sent);
        for (long i = 0; i < n; ++i) {
            std::string &datagram = datagrams[size_t((sent + i) % long(datagrams.size()))];
            vectors[size_t(i)] = {datagram.data(), datagram.size()};
            messages[size_t(i)] = {};
            messages[size_t(i)].msg_hdr.msg_iov = &vectors[size_t(i)];
            messages[size_t(i)].msg_hdr.msg_iovlen = 1;
        }
        long done = 0;
        while (done < n) {
            const int result = ::sendmmsg(fd, messages.data() + done, unsigned(n - done), 0);
            if (result < 0) {
                if (errno == EINTR)
                    continue;
                ++errors;
                break;
            }
            done += result;
        }
        sent += done;
        if (done < n)
            sent += n - done; // counted as sent: the loss shows on the receiving side
        ++batches;
        if (burst)
            continue;
        const double due = interval * double(batches);
        timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        const double behind =
            double(now.tv_sec - start.tv_sec) + double(now.tv_nsec - start.tv_nsec) / 1e9 - due;
        mostBehind = std::max(mostBehind, behind);
        timespec deadline = start;
        deadline.tv_sec += time_t(due);
        deadline.tv_nsec += long((due - double(time_t(due))) * 1e9);
        if (deadline.tv_nsec >= 1000000000L) {
            deadline.tv_sec += 1;
            deadline.tv_nsec -= 1000000000L;
        }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr);
    }
    timespec end;
    clock_gettime(CLOCK_MONOTONIC, &end);
    const double seconds =
        double(end.tv_sec - start.tv_sec) + double(end.tv_nsec - start.tv_nsec) / 1e9;
    // The sender shares the cores with the program: its CPU is part of what a rate costs here.
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    const double cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e6 +
                       double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    std::printf("sent=%ld\nsend_errors=%ld\nsend_seconds=%.3f\nsend_rate=%.0f\n"
                "sender_cpu_us_per_datagram=%.2f\nsender_most_behind_us=%.0f\n",
                sent, errors, seconds, double(sent) / seconds, sent ? cpu / double(sent) : 0,
                mostBehind * 1e6);
    ::close(fd);
    return 0;
}
