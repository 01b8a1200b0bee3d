// How late a thread that sleeps briefly wakes up on this machine, as it is loaded now: the
// socket reader's limit without privileges, where the kernel's buffer holds a few milliseconds
// of a flood. Sleeps --sleep-us (250) at a time for --seconds (5), first as an ordinary thread,
// then after asking for prompt wake-ups as the reader does, and prints how late each woke.
//
//   ledgerwell_wakeup_latency [--seconds N] [--sleep-us N]

#include "platform/PromptWakeUps.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>

namespace {

std::int64_t nowNs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

constexpr std::array<std::int64_t, 7> BoundsUs = {20, 50, 100, 250, 1000, 2500, 5000};

void measure(const char *name, double seconds, std::int64_t sleepNs)
{
    std::array<std::int64_t, BoundsUs.size() + 1> counts = {};
    std::int64_t latest = 0, wakeUps = 0;
    const std::int64_t end = nowNs() + std::int64_t(seconds * 1e9);
    while (nowNs() < end) {
        const std::int64_t before = nowNs();
        timespec pause = {0, long(sleepNs)};
        nanosleep(&pause, nullptr);
        const std::int64_t late = nowNs() - before - sleepNs;
        std::size_t bucket = 0;
        while (bucket < BoundsUs.size() && late >= BoundsUs[bucket] * 1000)
            ++bucket;
        ++counts[bucket];
        latest = std::max(latest, late);
        ++wakeUps;
    }
    std::printf("%-8s %8lld wake-ups, latest %6.2f ms;", name, static_cast<long long>(wakeUps),
                double(latest) / 1e6);
    for (std::size_t b = 0; b < counts.size(); ++b) {
        if (b < BoundsUs.size())
            std::printf(" <%lld us: %lld", static_cast<long long>(BoundsUs[b]),
                        static_cast<long long>(counts[b]));
        else
            std::printf(", later: %lld\n", static_cast<long long>(counts[b]));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    double seconds = 5;
    std::int64_t sleepUs = 250;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::atof(argv[i + 1]);
        else if (std::strcmp(argv[i], "--sleep-us") == 0)
            sleepUs = std::atoll(argv[i + 1]);
    }
    if (seconds <= 0 || sleepUs <= 0 || sleepUs >= 1000000) {
        std::fprintf(stderr, "usage: ledgerwell_wakeup_latency [--seconds N] [--sleep-us N]\n");
        return 2;
    }
    // Each in a thread of its own, as the reader is one.
    std::thread([&] { measure("ordinary", seconds, sleepUs * 1000); }).join();
    std::thread([&] {
        askForPromptWakeUps();
        measure("prompt", seconds, sleepUs * 1000);
    }).join();
    return 0;
}
