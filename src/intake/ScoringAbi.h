/* The contract between the program and a scoring component library.
 *
 * A component is a shared library with C linkage, so it can be written in any language.
 * The program creates one instance per datagram, sets the seven values in slot order
 * (connection string, listen port, sender address, sender port, log path, raw mode,
 * payload), calls Process and releases the instance when the next datagram replaces it.
 * The payload is copied by the component before SetPayload returns.
 *
 * Keep the names and the slot order exactly: existing components depend on them. */
#ifndef VARNOCK_SCORING_ABI_H
#define VARNOCK_SCORING_ABI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define SCORING_ABI_VERSION 1

typedef int32_t ScStatus; /* 0 = success, negative = failure (HRESULT-like) */

#define SC_OK ((ScStatus)0)
#define SC_E_FAIL ((ScStatus)0x80004005)
#define SC_E_INVALIDARG ((ScStatus)0x80070057)
#define SC_E_OUTOFMEMORY ((ScStatus)0x8007000E)
#define SC_E_CLASSNOTREG ((ScStatus)0x80040154)
/* Optional answers of Process, for a component that tells them apart; any other status
   keeps its meaning. SC_S_FALSE is a success: the component would not take the sender (not
   trusted, or without the port's secret) and wrote nothing. SC_E_PENDING: the component
   cannot take more now (too much waits to be written); the same data later will do. */
#define SC_S_FALSE ((ScStatus)1)
#define SC_E_PENDING ((ScStatus)0x8000000A)

typedef struct ScoreObject ScoreObject;

typedef struct ScoreObjectVtbl
{
    uint32_t abiVersion; /* SCORING_ABI_VERSION */
    void (*Release)(ScoreObject *self);
    ScStatus (*Process)(ScoreObject *self);
    ScStatus (*SetConnectionString)(ScoreObject *self, const char *utf8);
    ScStatus (*SetListenPort)(ScoreObject *self, int32_t port);
    ScStatus (*SetSenderIP)(ScoreObject *self, const char *dotted);
    ScStatus (*SetSenderPort)(ScoreObject *self, int32_t port);
    ScStatus (*SetLogPath)(ScoreObject *self, const char *utf8);
    ScStatus (*SetPayload)(ScoreObject *self, const uint8_t *bytes, size_t count);
    ScStatus (*SetRawMode)(ScoreObject *self, int16_t mode);
    const char *(*ErrorText)(ScoreObject *self); /* last failure's description, UTF-8, never NULL */
} ScoreObjectVtbl;

struct ScoreObject
{
    const ScoreObjectVtbl *vtbl;
};

/* Exported with C linkage by every component library. */
const char *ScoringComponentProgId(void);  /* e.g. "Ledgerwell.Score_Class" */
const char *ScoringComponentClassId(void); /* e.g. "{3F2A...}" */
ScStatus ScoringComponentCreate(const char *classId, ScoreObject **out);

/* Optional: called once when the program stops normally, after the last Process. The
   component writes what it still holds and returns how many datagrams it could not write
   (kept for a later run, or lost); 0 when everything is written. */
int64_t ScoringComponentFinish(void);

/* Optional: what the component did since it was loaded and what it holds now, for the
   program's metrics and health pages. Called from any thread at any time while the library
   is loaded, also during Process. The program zeroes the structure and sets size to what it
   knows; the component fills the fields that lie within size, so either side may be the
   older one. Counters only grow; "now" fields are current values. */
#define SC_COMMIT_BUCKETS 12
/* Upper bounds in seconds of the commit duration buckets; a last, unbounded one follows. */
#define SC_COMMIT_BUCKET_BOUNDS                                                                    \
    {                                                                                              \
        0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1.0, 2.5, 5.0                     \
    }

typedef struct ScoringFigures
{
    uint32_t size;
    uint32_t databases;          /* now: databases written to */
    uint32_t databasesAnswering; /* now: of those, open and taking their last transaction */
    uint32_t reserved;
    uint64_t linesUnderstood;  /* read and kept in the statistics */
    uint64_t linesIgnored;     /* read, but nothing the statistics keep */
    uint64_t linesRejected;    /* could not be read */
    uint64_t linesAmbiguous;   /* read, but credited to nobody */
    uint64_t rowsWaiting;      /* now: rows not yet committed */
    uint64_t transactionsKept; /* failed to commit and kept to be written again */
    uint64_t namesCached;      /* now */
    uint64_t commits;
    double commitSeconds; /* the commits' durations added up */
    /* Commits by duration: bucket i counts those above bound i-1 up to bound i, the last
       one those above every bound. */
    uint64_t commitBuckets[SC_COMMIT_BUCKETS + 1];
} ScoringFigures;

void ScoringComponentFigures(ScoringFigures *out);

typedef const char *(*ScoringComponentProgIdFn)(void);
typedef const char *(*ScoringComponentClassIdFn)(void);
typedef ScStatus (*ScoringComponentCreateFn)(const char *classId, ScoreObject **out);
typedef int64_t (*ScoringComponentFinishFn)(void);
typedef void (*ScoringComponentFiguresFn)(ScoringFigures *out);

#ifdef __cplusplus
}
#endif

#endif /* VARNOCK_SCORING_ABI_H */
