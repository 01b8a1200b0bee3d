// A scoring component for the tests: it records every call it receives, one line each, in
// the file named by RECORDING_COMPONENT_LOG, so a test can check what the program handed
// over and in which order. RECORDING_COMPONENT_FAIL=<member> makes that member fail, and
// RECORDING_COMPONENT_SLOW_MS=<n> makes Process take n milliseconds for a payload that begins
// with "slow". Process answers as a component that tells refusals apart would: "not taken"
// (a refused sender) when RECORDING_COMPONENT_REFUSE is set, "busy" when the payload holds
// the text of RECORDING_COMPONENT_BUSY.
//
// Line format: <instance> <member> [<value>]; the payload is written in hex.
#include "intake/ScoringAbi.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

namespace {

std::mutex logMutex;
std::atomic<unsigned> nextInstance{1};

struct Recorder : ScoreObject
{
    unsigned id = 0;
    std::string error;
    std::string payload;
};

void record(const Recorder *self, const char *member, const std::string &value)
{
    const char *path = std::getenv("RECORDING_COMPONENT_LOG");
    if (!path || !*path)
        return;
    std::lock_guard<std::mutex> lock(logMutex);
    if (FILE *file = std::fopen(path, "a")) {
        std::fprintf(file, "%u %s%s%s\n", self->id, member, value.empty() ? "" : " ",
                     value.c_str());
        std::fclose(file);
    }
}

ScStatus answer(ScoreObject *object, const char *member, const std::string &value)
{
    auto *self = static_cast<Recorder *>(object);
    record(self, member, value);
    const char *fail = std::getenv("RECORDING_COMPONENT_FAIL");
    if (fail && std::strcmp(fail, member) == 0) {
        self->error = std::string("Injected failure in ") + member;
        return SC_E_FAIL;
    }
    return SC_OK;
}

std::string hex(const uint8_t *bytes, size_t count)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(count * 2 + 1);
    text += '#'; // keeps an empty payload visible in the line
    for (size_t i = 0; i < count; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

void Release(ScoreObject *object)
{
    auto *self = static_cast<Recorder *>(object);
    record(self, "Release", {});
    delete self;
}

ScStatus Process(ScoreObject *object)
{
    auto *self = static_cast<Recorder *>(object);
    const char *slowMs = std::getenv("RECORDING_COMPONENT_SLOW_MS");
    if (slowMs && self->payload.starts_with("slow"))
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(slowMs)));
    const ScStatus status = answer(object, "Process", {});
    const char *busy = std::getenv("RECORDING_COMPONENT_BUSY");
    if (status == SC_OK && busy && *busy && self->payload.find(busy) != std::string::npos) {
        self->error = "Busy: too much waits to be written";
        return SC_E_PENDING;
    }
    if (status == SC_OK && std::getenv("RECORDING_COMPONENT_REFUSE"))
        return SC_S_FALSE;
    return status;
}
ScStatus SetConnectionString(ScoreObject *self, const char *utf8)
{
    return answer(self, "ConnectionString", utf8);
}
ScStatus SetListenPort(ScoreObject *self, int32_t port)
{
    return answer(self, "ListenPort", std::to_string(port));
}
ScStatus SetSenderIP(ScoreObject *self, const char *dotted)
{
    return answer(self, "SenderIP", dotted);
}
ScStatus SetSenderPort(ScoreObject *self, int32_t port)
{
    return answer(self, "SenderPort", std::to_string(port));
}
ScStatus SetLogPath(ScoreObject *self, const char *utf8)
{
    return answer(self, "LogPath", utf8);
}
ScStatus SetPayload(ScoreObject *self, const uint8_t *bytes, size_t count)
{
    static_cast<Recorder *>(self)->payload.assign(reinterpret_cast<const char *>(bytes), count);
    return answer(self, "Payload", hex(bytes, count));
}
ScStatus SetRawMode(ScoreObject *self, int16_t mode)
{
    return answer(self, "RawMode", std::to_string(mode));
}
const char *ErrorText(ScoreObject *self)
{
    return static_cast<Recorder *>(self)->error.c_str();
}

const ScoreObjectVtbl vtbl = {SCORING_ABI_VERSION, Release,     Process,       SetConnectionString,
                              SetListenPort,       SetSenderIP, SetSenderPort, SetLogPath,
                              SetPayload,          SetRawMode,  ErrorText};

const char *const ClassId = "{6D1C7A52-0E55-4B7B-9E43-5A1D2C3B4F10}";

} // namespace

extern "C" {

__attribute__((visibility("default"))) const char *ScoringComponentProgId(void)
{
    return "Ledgerwell.Score_Class";
}

__attribute__((visibility("default"))) const char *ScoringComponentClassId(void)
{
    return ClassId;
}

__attribute__((visibility("default"))) ScStatus ScoringComponentCreate(const char *classId,
                                                                       ScoreObject **out)
{
    if (!out)
        return SC_E_INVALIDARG;
    if (!classId || std::strcmp(classId, ClassId) != 0)
        return SC_E_CLASSNOTREG;
    auto *self = new Recorder;
    self->vtbl = &vtbl;
    self->id = nextInstance++;
    *out = self;
    record(self, "Create", {});
    return SC_OK;
}
}
