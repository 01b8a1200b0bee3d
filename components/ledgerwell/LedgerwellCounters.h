/* Ledgerwell's counters, exported besides the scoring interface for tests and benchmarks.
 * Totals since the library was loaded, over every connection. */
#ifndef LEDGERWELL_COUNTERS_H
#define LEDGERWELL_COUNTERS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct LedgerwellCounterSet
{
    uint64_t datagramsReceived;  /* Process calls */
    uint64_t datagramsRejected;  /* not log datagrams: noted, nothing written */
    uint64_t datagramsRefused;   /* Process failed: database or log file unavailable, backlog */
    uint64_t datagramsPending;   /* taken, not committed yet */
    uint64_t datagramsCommitted; /* taken and committed */
    uint64_t linesScored;
    uint64_t linesRejected; /* malformed lines, noted */
    uint64_t linesRepaired; /* not valid UTF-8, read as Windows-1252 */
    uint64_t rowsWritten;   /* inserted rows committed */
    uint64_t rowsUpdated;   /* updated rows committed */
    uint64_t rowsDropped;   /* rows left out: table missing or row refused, noted */
    uint64_t commits;
    uint64_t commitFailures; /* transactions that failed and were kept to be written again */
    uint64_t reconnects;
    uint64_t linesAmbiguous; /* names allow several readings, none singled out: credited to
                                nobody, noted */
    uint64_t namesCached;    /* now: names whose Records are kept in memory */
    uint64_t namesDropped;   /* names dropped from memory to stay within the limit */
    uint64_t recordsKept;    /* now: Records of written rows kept for later references */
    /* New counters go at the end, so the fields above keep their offsets. */
    uint64_t datagramsUnknownSender; /* refused before anything was written: not on the port's
                                        allow-list, or the port's rules could not be read */
    uint64_t datagramsWrongSecret;   /* refused before anything was written: without the
                                        port's log secret, or with another */
    uint64_t serversCached;      /* now: game servers (sender address and port) kept in memory */
    uint64_t serversDropped;     /* servers dropped from memory to stay within the limit */
    uint64_t linksCached;        /* now: links written lately (cvars and properties to their
                                    server, game or player), kept so as not to write them twice */
    uint64_t linksDropped;       /* links dropped from memory to stay within the limit */
    uint64_t linesIgnored;       /* of linesScored: read, but nothing the statistics keep */
    uint64_t rowsWaiting;        /* now: rows scored and not yet committed */
    uint64_t databases;          /* now: databases written to */
    uint64_t databasesAnswering; /* now: of those, open and taking their last transaction */
    uint64_t commitMicroseconds; /* the commits' durations added up */
    uint64_t commitBuckets[13];  /* commits by duration, as ScoringFigures counts them */
} LedgerwellCounterSet;

void LedgerwellCounters(LedgerwellCounterSet *out);
typedef void (*LedgerwellCountersFn)(LedgerwellCounterSet *out);

#ifdef __cplusplus
}
#endif

#endif /* LEDGERWELL_COUNTERS_H */
