// The library's C interface: the scoring component contract and the counters.
#include "LedgerwellCounters.h"
#include "LibraryFolder.h"
#include "LibraryState.h"
#include "PgDatabase.h"
#include "Tables.h"
#include "TrustRules.h"

#include "intake/ScoringAbi.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#define LEDGERWELL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using ledgerwell::LibraryState;

constexpr char ProgId[] = "Ledgerwell.Score_Class";
constexpr char ClassId[] = "{6F1C2B8E-4D3A-4E7B-9C51-2A8D7E3F0B64}";

// The one process-wide state of the library. It is made by the first instance and ends with
// the library: at unload or at normal process end, its owner commits what is open.
std::mutex createMutex;
std::atomic<LibraryState *> libraryState{nullptr};
std::atomic<int> callsInside{0};

struct LibraryStateOwner
{
    // The table list the writer threads read is made before this owner, so it is destroyed
    // after the owner has stopped them.
    LibraryStateOwner()
    {
        ledgerwell::tableName(ledgerwell::Table::Cvars);
        ledgerwell::PgDatabase::keepCryptoUntilExit();
    }
    ~LibraryStateOwner()
    {
        LibraryState *state = libraryState.exchange(nullptr);
        if (!state)
            return;
        // A call still inside (from another thread) gets a second to leave.
        for (int i = 0; i < 100 && callsInside.load() > 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (callsInside.load() == 0 && state->shutdown())
            delete state;
        // Otherwise the state is left as it is: the process is ending anyway.
    }
} stateOwner;

// Keeps the state alive for the length of one call.
class Inside
{
public:
    Inside() { callsInside.fetch_add(1); }
    ~Inside() { callsInside.fetch_sub(1); }
    LibraryState *state() const { return libraryState.load(); }
};

// Ledgerwell.ini lies beside the library: the program folder is by design the folder of the
// registered library. It is read once, with the state; a change needs the next start.
ledgerwell::TrustRules trustedSenders()
{
    const std::string folder = ledgerwell::libraryFolder();
    if (folder.empty())
        return ledgerwell::TrustRules::unreadable("Ledgerwell.ini",
                                                  "the folder of the library is not known");
    return ledgerwell::TrustRules::read(folder + "/Ledgerwell.ini");
}

LibraryState *createdState()
{
    if (LibraryState *state = libraryState.load())
        return state;
    std::lock_guard lock(createMutex);
    LibraryState *state = libraryState.load();
    if (!state) {
        state = new LibraryState(trustedSenders());
        libraryState.store(state);
    }
    return state;
}

extern const ScoreObjectVtbl vtbl;

struct Instance : ScoreObject
{
    std::string connectionString;
    std::int32_t listenPort = 0;
    std::string senderIp;
    std::int32_t senderPort = 0;
    std::string logPath;
    std::int16_t rawMode = 1;
    std::string payload;
    std::string error;

    // As new, but with the room its texts had.
    void reset()
    {
        connectionString.clear();
        listenPort = 0;
        senderIp.clear();
        senderPort = 0;
        logPath.clear();
        rawMode = 1;
        payload.clear();
        error.clear();
    }
};

// Released instances wait here for the next datagram, so that a fresh instance for every
// datagram costs no allocation. Each one is handed out as new.
class InstancePool
{
public:
    InstancePool() = default;
    InstancePool(const InstancePool &) = delete;
    InstancePool &operator=(const InstancePool &) = delete;
    ~InstancePool()
    {
        for (Instance *instance : m_free)
            delete instance;
    }

    Instance *take()
    {
        {
            std::lock_guard lock(m_mutex);
            if (!m_free.empty()) {
                Instance *instance = m_free.back();
                m_free.pop_back();
                return instance;
            }
        }
        auto *instance = new Instance();
        instance->vtbl = &vtbl;
        return instance;
    }

    void give(Instance *instance)
    {
        instance->reset();
        {
            std::lock_guard lock(m_mutex);
            if (m_free.size() < Kept) {
                m_free.push_back(instance);
                return;
            }
        }
        delete instance;
    }

private:
    static constexpr std::size_t Kept = 4;
    std::mutex m_mutex;
    std::vector<Instance *> m_free;
} instances;

Instance *self(ScoreObject *object)
{
    return static_cast<Instance *>(object);
}

ScStatus setText(ScoreObject *object, std::string Instance::*member, const char *text)
{
    if (!object)
        return SC_E_INVALIDARG;
    if (!text) {
        self(object)->error = "A text was not given (null pointer).";
        return SC_E_INVALIDARG;
    }
    try {
        self(object)->*member = text;
    } catch (const std::bad_alloc &) {
        return SC_E_OUTOFMEMORY;
    }
    return SC_OK;
}

void Release(ScoreObject *object)
{
    if (object)
        instances.give(self(object));
}

ScStatus Process(ScoreObject *object)
{
    if (!object)
        return SC_E_INVALIDARG;
    Instance *instance = self(object);
    instance->error.clear();
    Inside inside;
    LibraryState *state = inside.state();
    if (!state) {
        instance->error = "Ledgerwell is being unloaded; the datagram was not scored.";
        return SC_E_FAIL;
    }
    ledgerwell::Datagram datagram;
    datagram.connectionString = instance->connectionString;
    datagram.listenPort = instance->listenPort;
    datagram.senderIp = instance->senderIp;
    datagram.senderPort = instance->senderPort;
    datagram.logPath = instance->logPath;
    datagram.rawMode = instance->rawMode;
    datagram.payload = instance->payload;
    try {
        return state->process(datagram, instance->error);
    } catch (const std::bad_alloc &) {
        instance->error = "Ledgerwell ran out of memory; the datagram was not scored.";
        return SC_E_OUTOFMEMORY;
    } catch (const std::exception &e) {
        instance->error = std::string("Ledgerwell failed: ") + e.what();
        return SC_E_FAIL;
    }
}

ScStatus SetConnectionString(ScoreObject *object, const char *utf8)
{
    return setText(object, &Instance::connectionString, utf8);
}

ScStatus SetListenPort(ScoreObject *object, int32_t port)
{
    if (!object)
        return SC_E_INVALIDARG;
    self(object)->listenPort = port;
    return SC_OK;
}

ScStatus SetSenderIP(ScoreObject *object, const char *dotted)
{
    return setText(object, &Instance::senderIp, dotted);
}

ScStatus SetSenderPort(ScoreObject *object, int32_t port)
{
    if (!object)
        return SC_E_INVALIDARG;
    self(object)->senderPort = port;
    return SC_OK;
}

ScStatus SetLogPath(ScoreObject *object, const char *utf8)
{
    return setText(object, &Instance::logPath, utf8);
}

ScStatus SetPayload(ScoreObject *object, const uint8_t *bytes, size_t count)
{
    if (!object)
        return SC_E_INVALIDARG;
    if (!bytes && count > 0) {
        self(object)->error = "The payload was not given (null pointer).";
        return SC_E_INVALIDARG;
    }
    try {
        self(object)->payload.assign(reinterpret_cast<const char *>(bytes), count);
    } catch (const std::bad_alloc &) {
        return SC_E_OUTOFMEMORY;
    }
    return SC_OK;
}

ScStatus SetRawMode(ScoreObject *object, int16_t mode)
{
    if (!object)
        return SC_E_INVALIDARG;
    self(object)->rawMode = mode;
    return SC_OK;
}

const char *ErrorText(ScoreObject *object)
{
    return object ? self(object)->error.c_str() : "";
}

const ScoreObjectVtbl vtbl = {SCORING_ABI_VERSION, Release,     Process,       SetConnectionString,
                              SetListenPort,       SetSenderIP, SetSenderPort, SetLogPath,
                              SetPayload,          SetRawMode,  ErrorText};

bool sameClassId(const char *a, const char *b)
{
    return strcasecmp(a, b) == 0;
}

} // namespace

LEDGERWELL_EXPORT const char *ScoringComponentProgId(void)
{
    return ProgId;
}

LEDGERWELL_EXPORT const char *ScoringComponentClassId(void)
{
    return ClassId;
}

LEDGERWELL_EXPORT ScStatus ScoringComponentCreate(const char *classId, ScoreObject **out)
{
    if (!out)
        return SC_E_INVALIDARG;
    *out = nullptr;
    if (!classId || !sameClassId(classId, ClassId))
        return SC_E_CLASSNOTREG;
    try {
        createdState();
        *out = instances.take();
        return SC_OK;
    } catch (const std::bad_alloc &) {
        return SC_E_OUTOFMEMORY;
    } catch (const std::exception &) {
        return SC_E_FAIL; // the writer thread could not start
    }
}

// The program stops: everything is written, or kept for the next start, before it returns.
LEDGERWELL_EXPORT int64_t ScoringComponentFinish(void)
{
    LibraryState *state = libraryState.exchange(nullptr);
    if (!state)
        return 0;
    for (int i = 0; i < 100 && callsInside.load() > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    // A writer that did not end in time is left as it is (the process is ending anyway);
    // what it held counts as not written, so the program's exit status tells.
    if (callsInside.load() > 0 || !state->shutdown())
        return std::int64_t(std::max<std::uint64_t>(state->pending(), 1));
    const std::uint64_t unwritten = state->unwritten();
    delete state;
    return std::int64_t(unwritten);
}

LEDGERWELL_EXPORT void LedgerwellCounters(LedgerwellCounterSet *out)
{
    if (!out)
        return;
    std::memset(out, 0, sizeof *out);
    Inside inside;
    if (LibraryState *state = inside.state())
        state->counters(*out);
}

// The program's metrics and health pages: the counters in the contract's terms.
LEDGERWELL_EXPORT void ScoringComponentFigures(ScoringFigures *out)
{
    if (!out || out->size < sizeof out->size)
        return;
    LedgerwellCounterSet c;
    LedgerwellCounters(&c);
    ScoringFigures figures = {};
    figures.size = out->size;
    figures.databases = std::uint32_t(c.databases);
    figures.databasesAnswering = std::uint32_t(c.databasesAnswering);
    figures.linesUnderstood = c.linesScored - c.linesIgnored;
    figures.linesIgnored = c.linesIgnored;
    figures.linesRejected = c.linesRejected;
    figures.linesAmbiguous = c.linesAmbiguous;
    figures.rowsWaiting = c.rowsWaiting;
    figures.transactionsKept = c.commitFailures;
    figures.namesCached = c.namesCached;
    figures.commits = c.commits;
    figures.commitSeconds = double(c.commitMicroseconds) / 1e6;
    std::memcpy(figures.commitBuckets, c.commitBuckets, sizeof figures.commitBuckets);
    // A program that knows fewer fields gets those it knows.
    std::memcpy(out, &figures, std::min<std::size_t>(out->size, sizeof figures));
}
