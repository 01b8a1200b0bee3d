// Loads Ledgerwell.so the way the program does, hands it the lines of a file as HL1 log
// datagrams through the C interface, then ends in the way the test asks, so the test can
// see what reaches the database when the library is unloaded or the process ends.
//
//   ledgerwell_probe LIBRARY CONNECTION_STRING LOG_PATH MODE LINES_FILE
//   MODE: exit    std::exit right after the last datagram (static destructors run)
//         unload  dlclose the library, then _exit without any exit handlers
#include "LedgerwellCounters.h"
#include "intake/ScoringAbi.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fstream>
#include <string>
#include <unistd.h>

int main(int argc, char *argv[])
{
    if (argc != 6) {
        std::fprintf(stderr, "usage: ledgerwell_probe LIBRARY CONNECTION LOG exit|unload LINES\n");
        return 2;
    }
    const std::string mode = argv[4];
    void *library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    const auto classId =
        reinterpret_cast<ScoringComponentClassIdFn>(dlsym(library, "ScoringComponentClassId"));
    const auto create =
        reinterpret_cast<ScoringComponentCreateFn>(dlsym(library, "ScoringComponentCreate"));
    const auto counters =
        reinterpret_cast<LedgerwellCountersFn>(dlsym(library, "LedgerwellCounters"));
    if (!classId || !create || !counters) {
        std::fprintf(stderr, "not a Ledgerwell library\n");
        return 1;
    }
    std::ifstream lines(argv[5]);
    std::string line;
    int failures = 0;
    while (std::getline(lines, line)) {
        if (line.empty())
            continue;
        const std::string payload =
            std::string("\xFF\xFF\xFF\xFFlog ") + line + std::string("\n\0", 2);
        ScoreObject *object = nullptr;
        if (create(classId(), &object) < 0 || !object)
            return 1;
        const ScoreObjectVtbl *v = object->vtbl;
        v->SetConnectionString(object, argv[2]);
        v->SetListenPort(object, 28000);
        v->SetSenderIP(object, "127.0.0.1");
        v->SetSenderPort(object, 27015);
        v->SetLogPath(object, argv[3]);
        v->SetRawMode(object, 1);
        v->SetPayload(object, reinterpret_cast<const uint8_t *>(payload.data()), payload.size());
        if (v->Process(object) < 0) {
            std::fprintf(stderr, "Process failed: %s\n", v->ErrorText(object));
            ++failures;
        }
        v->Release(object);
    }
    LedgerwellCounterSet set;
    counters(&set);
    std::printf("received=%llu committed=%llu pending=%llu failures=%d\n",
                (unsigned long long)set.datagramsReceived,
                (unsigned long long)set.datagramsCommitted,
                (unsigned long long)set.datagramsPending, failures);
    std::fflush(stdout);
    if (mode == "unload") {
        dlclose(library);
        _exit(failures ? 1 : 0);
    }
    std::exit(failures ? 1 : 0);
}
