#include "PooledConnection.h"

#include "Coverage.h"

#include "Framing.h"
#include "LibraryFolder.h"
#include "LogLine.h"
#include "PgDatabase.h"
#include "SpillFile.h"
#include "SqliteDatabase.h"
#include "TextRules.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <thread>

#include <sys/stat.h>

namespace ledgerwell {

namespace {

std::int64_t ticks(PooledConnection::Clock::time_point time)
{
    return time.time_since_epoch().count();
}

PooledConnection::Clock::time_point fromTicks(std::int64_t value)
{
    return PooledConnection::Clock::time_point(PooledConnection::Clock::duration(value));
}

std::int64_t number(std::string_view text)
{
    return std::atoll(std::string(text).c_str());
}

std::string sender(const Datagram &datagram)
{
    return std::string(datagram.senderIp) + ":" + std::to_string(datagram.senderPort);
}

bool fileExists(const std::string &path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

constexpr std::chrono::milliseconds FinalRetry{250};

} // namespace

PooledConnection::PooledConnection(ConnectionSettings settings, Counters &counters,
                                   ProcessLogs &logs, std::string logPath)
    : m_counters(counters)
    , m_logs(logs)
    , m_settings(std::move(settings))
    , m_logPath(std::move(logPath))
    , m_identity(databaseIdentity(m_settings))
    , m_keepFolder(m_logPath.empty() ? std::string(".") : folderOf(m_logPath))
{
    std::random_device random;
    char id[24];
    std::snprintf(id, sizeof id, "%08x%08x", random(), random());
    m_writer = id;
    m_thread = std::thread([this] { run(); });
}

// The names and servers already written, so their rows are reused. Names that other
// writers make later are found when a transaction is numbered.
bool PooledConnection::load(Ledger &ledger, std::string &error)
{
    const struct
    {
        Table table;
        const char *column;
    } names[] = {{Table::Maps, "Map"},
                 {Table::Teams, "Team"},
                 {Table::Types, "Type"},
                 {Table::Weapons, "Weapon"},
                 {Table::Players, "Player"}};
    for (const auto &name : names) {
        const Table table = name.table; // a plain variable: lambdas may not capture bindings
        const char *column = name.column;
        if (!m_db->hasTable(table))
            continue;
        if (!m_db->query(
                std::string("SELECT Record, ") + column + " FROM " + tableName(table) +
                    " ORDER BY Record",
                [&](const Database::Row &row) {
                    ledger.rememberName(table, number(row.at(0)), std::string(row.at(1)));
                },
                error))
            return false;
    }
    if (m_db->hasTable(Table::Cvars) && !m_db->query(
                                            "SELECT Record, Cvar, Val FROM Cvars ORDER BY Record",
                                            [&](const Database::Row &row) {
                                                ledger.rememberCvar(number(row.at(0)),
                                                                    std::string(row.at(1)),
                                                                    std::string(row.at(2)));
                                            },
                                            error))
        return false;
    if (m_db->hasTable(Table::Servers) &&
        !m_db->query(
            "SELECT Record, Server_IP, Server_Port FROM Servers ORDER BY Record",
            [&](const Database::Row &row) {
                ledger.rememberServer(number(row.at(0)), std::string(row.at(1)),
                                      std::string(row.at(2)));
            },
            error))
        return false;
    if (m_db->hasTable(Table::ServersCvars) && !m_db->query(
                                                   "SELECT Server, Cvar FROM Servers_Cvars",
                                                   [&](const Database::Row &row) {
                                                       ledger.rememberServerCvar(number(row.at(0)),
                                                                                 number(row.at(1)));
                                                   },
                                                   error))
        return false;
    return true;
}

const std::string &PooledConnection::receivedIso()
{
    const std::int64_t second = std::time(nullptr);
    if (second != m_receivedSecond) {
        m_receivedSecond = second;
        m_receivedIso = localDateTime();
    }
    return m_receivedIso;
}

bool PooledConnection::process(const Datagram &datagram, const FramedDatagram &framed,
                               ProcessLog *log, std::string &error)
{
    bool wake = false;
    {
        std::lock_guard lock(m_stateMutex);
        if (fullLocked()) {
            error = "The database does not take the rows fast enough (" +
                    std::to_string((m_pendingBytes.load() + m_heldBytes) >> 20) +
                    " MB wait to be written); the datagram was not scored.";
            if (log)
                log->note("refused a datagram from " + sender(datagram) + ": " + error);
            return false;
        }
        if (!m_ready) {
            if (!m_openError.empty()) {
                error = m_openError;
                return false;
            }
            // Scored by the writer once the names the database holds are read.
            m_held.push_back({std::string(datagram.senderIp), datagram.senderPort, datagram.rawMode,
                              std::string(datagram.payload), log, receivedIso()});
            m_heldBytes += sizeof(Held) + datagram.payload.size();
            add(m_counters.datagramsPending);
            return true;
        }
        add(m_counters.datagramsPending);
        score(datagram, framed, log, receivedIso(), wake);
    }
    if (wake)
        wakeWriter();
    return true;
}

// Every datagram is counted and archived, whether or not its lines are understood.
void PooledConnection::score(const Datagram &datagram, const FramedDatagram &framed,
                             ProcessLog *log, const std::string &received, bool &wakeWriter)
{
    ServerState &server =
        m_ledger.server(datagram.senderIp, std::to_string(datagram.senderPort), received, m_open);
    std::int64_t game = server.game.id;
    if (!framed.ok) {
        add(m_counters.datagramsRejected);
        if (log)
            log->countUnread("not a log datagram",
                             framed.reason + ": " + noteExcerpt(datagram.payload));
    } else if (!scoreLines(framed, server, log, game)) {
        add(m_counters.datagramsRejected);
    }
    m_ledger.countDatagram(server, received);
    if (datagram.rawMode != 0) {
        m_ledger.logRow(datagram.senderIp, datagram.senderPort, datagram.payload, received, game,
                        m_open);
        if (log) {
            for (const std::string_view line : framed.lines)
                log->rawLine(line);
        }
    }
    const Clock::time_point now = Clock::now();
    m_open.countDatagram(now, log ? log->path() : m_noLog);
    if (m_open.datagrams() == 1) {
        m_openedAt.store(ticks(now), std::memory_order_relaxed);
        wakeWriter = true; // it waits for this transaction's age now
    }
    if (m_open.datagrams() >= CommitDatagrams || now - m_open.opened() >= CommitAge) {
        seal();
        wakeWriter = true;
    }
}

// False when no line of the datagram could be read.
bool PooledConnection::scoreLines(const FramedDatagram &framed, ServerState &server,
                                  ProcessLog *log, std::int64_t &game)
{
    bool accepted = false;
    for (const std::string_view line : framed.lines) {
        std::string decoded;
        const std::string_view text = asUtf8(line, decoded);
        if (text.data() != line.data())
            add(m_counters.linesRepaired);
        const LineParse parsed = parseLine(text, &server);
        if (parsed.ambiguous) {
            // A log line all the same: the datagram is not rejected for it.
            add(m_counters.linesAmbiguous);
            server.roundStats.interrupt();
            if (log)
                log->countAmbiguous(parsed.reason + ": " + noteExcerpt(text));
            accepted = true;
            continue;
        }
        if (!parsed.ok) {
            server.roundStats.interrupt();
            add(m_counters.linesRejected);
            if (log)
                log->countUnread(parsed.rejected, parsed.reason + ": " + noteExcerpt(text));
            continue;
        }
        if (const std::int64_t touched = m_ledger.score(server, parsed.line, m_open))
            game = touched;
        accepted = true;
        add(m_counters.linesScored);
        const Event &event = parsed.line.event;
        if ((!event.actor.id.empty() && isConsole(event.actor)) || !isStoredKind(event.kind))
            add(m_counters.linesIgnored);
    }
    return accepted;
}

void PooledConnection::seal()
{
    m_ledger.sealServers(m_open);
    // Tells after a lost connection whether the transaction went through.
    m_open.add(insertInto(Table::Commits), Value::of(++m_transactions), Value::of(m_writer),
               Value::of(localDateTime()));
    m_pendingBytes.fetch_add(m_open.bytes(), std::memory_order_relaxed);
    m_pendingRows.fetch_add(m_open.rows(), std::memory_order_relaxed);
    m_sealed.push_back(std::move(m_open));
    if (m_spare.empty()) {
        m_open = RowBatch();
        m_open.reserveLike(m_sealed.back());
    } else {
        m_open = std::move(m_spare.back());
        m_spare.pop_back();
    }
    m_openedAt.store(0, std::memory_order_relaxed);
    m_hasSealed.store(true, std::memory_order_relaxed);
}

PooledConnection::Clock::time_point PooledConnection::nextDue(Clock::time_point now) const
{
    Clock::time_point due = Clock::time_point::max();
    if (m_hasSealed.load(std::memory_order_relaxed)) {
        const Clock::time_point retry = fromTicks(m_retryAt.load(std::memory_order_relaxed));
        due = retry > now ? retry : now;
    }
    const std::int64_t opened = m_openedAt.load(std::memory_order_relaxed);
    if (opened != 0 && fromTicks(opened) + CommitAge < due)
        due = fromTicks(opened) + CommitAge;
    return due;
}

void PooledConnection::writeDue(Clock::time_point now, bool final, Clock::time_point giveUpAt)
{
    std::deque<RowBatch> work;
    {
        std::unique_lock lock(m_stateMutex, std::defer_lock);
        // At unload the program's thread may be stopped inside Process: do not wait forever.
        if (!final)
            lock.lock();
        else if (!lock.try_lock_for(std::chrono::seconds(2)))
            return;
        if (m_open.datagrams() > 0 && (final || now - m_open.opened() >= CommitAge))
            seal();
        if (m_sealed.empty() || (!final && ticks(now) < m_retryAt.load()))
            return;
        work.swap(m_sealed);
        m_hasSealed.store(false, std::memory_order_relaxed);
    }

    std::lock_guard dbLock(m_dbMutex);
    if (!m_db) { // never opened: nothing can be written
        if (final)
            keepForNextStart(work);
        return;
    }
    std::vector<RowBatch> written;
    while (!work.empty()) {
        // Past the deadline no statement is begun: one could wait for a lock again.
        if ((final && Clock::now() >= giveUpAt) || !writeOne(work.front(), final))
            break;
        m_pendingBytes.fetch_sub(work.front().bytes(), std::memory_order_relaxed);
        m_pendingRows.fetch_sub(work.front().rows(), std::memory_order_relaxed);
        written.push_back(std::move(work.front()));
        work.pop_front();
    }
    keepSpare(written);
    if (work.empty())
        return;
    if (final) {
        finish(work, giveUpAt);
        return;
    }
    std::lock_guard lock(m_stateMutex);
    while (!work.empty()) {
        m_sealed.push_front(std::move(work.back()));
        work.pop_back();
    }
    m_retryAt.store(ticks(now + RetryDelay));
    m_hasSealed.store(true, std::memory_order_relaxed);
}

// Emptied here, on the writer's thread, so freeing their texts costs the program's thread
// nothing; two are enough for the transactions on their way.
void PooledConnection::keepSpare(std::vector<RowBatch> &written)
{
    constexpr std::size_t Spares = 2;
    if (written.size() > Spares)
        written.resize(Spares);
    for (RowBatch &batch : written)
        batch.recycle();
    std::lock_guard lock(m_stateMutex);
    for (RowBatch &batch : written) {
        if (m_spare.size() < Spares)
            m_spare.push_back(std::move(batch));
    }
}

bool PooledConnection::writeOne(RowBatch &batch, bool final)
{
    m_writeStarted = Clock::now();
    if (!m_db->connected() && !reopen(batch))
        return false;
    if (!m_db->hasAllTables())
        noteTables(m_db->refreshTables(), batch.logPaths()); // the program may have made them

    WriteReport report = m_db->write(batch, m_numbers);
    if (report.outcome == WriteReport::Outcome::ConnectionLost) {
        add(m_counters.commitFailures);
        noteFailure(batch, "The connection to the database was lost (" + report.error +
                               "); the rows are kept and written again when it is back.");
        const bool reopened = reopen(batch);
        if (reopened && alreadyCommitted(batch)) {
            // The commit went through before the connection was lost.
            m_numbers.commit();
            committed(batch, report);
            return true;
        }
        m_numbers.discard(batch);
        if (!reopened)
            return false;
        report = m_db->write(batch, m_numbers);
    }
    if (report.outcome != WriteReport::Outcome::Written) {
        add(m_counters.commitFailures);
        noteFailure(batch, "The rows cannot be written (" + report.error + "); they are kept and " +
                               (final ? "tried once more." : "written again in a second."));
        return false;
    }
    committed(batch, report);
    return true;
}

bool PooledConnection::reopen(const RowBatch &batch)
{
    std::string error;
    if (!m_db->reconnect(error)) {
        noteFailure(batch, error + "; the rows are kept and written again when it can be opened.");
        return false;
    }
    add(m_counters.reconnects);
    noteTables(m_db->refreshTables(), batch.logPaths());
    return true;
}

void PooledConnection::memory(LedgerwellCounterSet &out)
{
    {
        std::lock_guard lock(m_stateMutex);
        out.namesCached += m_ledger.cachedNames();
        out.namesDropped += m_ledger.droppedNames();
        out.serversCached += m_ledger.cachedServers();
        out.serversDropped += m_ledger.droppedServers();
        out.linksCached += m_ledger.cachedLinks();
        out.linksDropped += m_ledger.droppedLinks();
        out.rowsWaiting += m_open.rows();
    }
    out.rowsWaiting += m_pendingRows.load(std::memory_order_relaxed);
    out.databases += 1;
    out.databasesAnswering += m_answering.load(std::memory_order_relaxed) ? 1 : 0;
    out.recordsKept += m_recordsKept.load(std::memory_order_relaxed);
}

// By the batch's own writer and transaction: a batch kept from an earlier run names that
// run's writer.
bool PooledConnection::alreadyCommitted(const RowBatch &batch)
{
    const std::vector<Step> &steps = batch.steps();
    for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
        if (step->statement == insertInto(Table::Commits))
            return m_db->hasTable(Table::Commits) &&
                   m_db->committed(batch.values(*step)[1].bytes, batch.values(*step)[0].integer);
    }
    return false;
}

// At unload: the database gets until giveUpAt to come back; what it still does not take is
// kept in a file and written at the next start.
void PooledConnection::finish(std::deque<RowBatch> &work, Clock::time_point giveUpAt)
{
    while (!work.empty() && Clock::now() + FinalRetry < giveUpAt) {
        std::this_thread::sleep_for(FinalRetry);
        while (!work.empty() && Clock::now() < giveUpAt && writeOne(work.front(), true)) {
            m_pendingBytes.fetch_sub(work.front().bytes(), std::memory_order_relaxed);
            m_pendingRows.fetch_sub(work.front().rows(), std::memory_order_relaxed);
            work.pop_front();
        }
    }
    if (!work.empty())
        keepForNextStart(work);
}

void PooledConnection::keepForNextStart(std::deque<RowBatch> &work)
{
    std::uint64_t datagrams = 0;
    std::vector<std::string> paths;
    std::vector<const RowBatch *> batches;
    for (RowBatch &batch : work) {
        // The next run knows nothing of the rows this one wrote: give it their Records.
        m_numbers.settle(batch);
        datagrams += batch.datagrams();
        paths.insert(paths.end(), batch.logPaths().begin(), batch.logPaths().end());
        batches.push_back(&batch);
    }
    std::sort(paths.begin(), paths.end());
    paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
    const std::string folder = paths.empty() ? m_keepFolder : folderOf(paths.front());
    const std::string path = spill::pathFor(folder, m_identity);
    std::string error;
    const bool kept = spill::append(path, batches, error);
    const std::string text =
        kept ? std::to_string(datagrams) +
                   " datagrams could not be written before Ledgerwell was unloaded; their rows "
                   "are kept in " +
                   path + " and written when this database is next opened."
             : std::to_string(datagrams) +
                   " datagrams could not be written before Ledgerwell was unloaded, nor kept (" +
                   error + "); their rows are lost.";
    noteAll(paths, text);
    std::fprintf(stderr, "Ledgerwell: %s\n", text.c_str());
    m_unwritten.fetch_add(datagrams);
}

// Rows an earlier run could not write are written first, oldest first, each batch once:
// one that went through before is recognised by its Ledgerwell_Commits row.
namespace {

// The rows of a damaged file are written as far as they are intact; the file is kept aside,
// not deleted, so whoever looks into the damage still has it. Said on standard error too.
std::string keepDamaged(const std::string &path, std::uint64_t datagrams, const std::string &damage)
{
    std::string error;
    const std::string aside = spill::keepAside(path, error);
    const std::string text =
        "Wrote the rows of " + std::to_string(datagrams) +
        " datagrams kept from an earlier run in " + path + ", but the file is damaged: " + damage +
        "." +
        (aside.empty() ? " It cannot be kept aside (" + error + ") and stays where it is."
                       : " The damaged file is kept as " + aside + ".");
    std::fprintf(stderr, "Ledgerwell: %s\n", text.c_str());
    return text;
}

} // namespace

void PooledConnection::replayKept(ProcessLog *log)
{
    const std::string path = spill::pathFor(m_keepFolder, m_identity);
    if (!fileExists(path))
        return;
    std::vector<std::vector<RowBatch>> segments;
    spill::Damage damage;
    std::string error;
    const bool read = spill::read(
        path, [&] { segments.emplace_back(); },
        [&](RowBatch &&batch) { segments.back().push_back(std::move(batch)); }, damage, error);
    std::uint64_t datagrams = 0;
    bool done = read;
    for (std::vector<RowBatch> &segment : segments) {
        if (done && !replaySegment(segment, datagrams, damage.stretches > 0, error))
            done = false;
    }
    std::string text;
    if (done && damage.stretches > 0) {
        text = keepDamaged(path, datagrams, damage.text);
        // Each damaged stretch lost one datagram at least: the run ends telling so.
        m_unwritten.fetch_add(damage.stretches);
    } else if (done) {
        std::remove(path.c_str());
        text = "Wrote the rows of " + std::to_string(datagrams) +
               " datagrams kept from an earlier run in " + path + ".";
    } else {
        text = "The rows kept from an earlier run in " + path + " could not all be written (" +
               error + "); the file stays and is tried again at the next start.";
    }
    if (log)
        log->note(text);
}

bool PooledConnection::replaySegment(std::vector<RowBatch> &segment, std::uint64_t &datagrams,
                                     bool damaged, std::string &error)
{
    RecordNumbers numbers; // the segment's references are its own
    // A row of a damaged record is lost: what refers to it refers to nothing.
    numbers.referMissingToNothing(damaged);
    for (RowBatch &batch : segment) {
        if (alreadyCommitted(batch))
            continue;
        WriteReport report = m_db->write(batch, numbers);
        // Another writer took a name at the same moment: the next attempt finds it.
        for (int again = 0; again < 5 && report.conflict; ++again)
            report = m_db->write(batch, numbers);
        if (report.outcome != WriteReport::Outcome::Written) {
            error = report.error;
            return false;
        }
        datagrams += batch.datagrams();
        add(m_counters.rowsWritten, report.inserted);
        add(m_counters.rowsUpdated, report.updated);
    }
    return true;
}

void PooledConnection::committed(RowBatch &batch, const WriteReport &report)
{
    m_numbers.forget(batch.forgotten());
    m_recordsKept.store(m_numbers.kept(), std::memory_order_relaxed);
    add(m_counters.commits);
    m_counters.commitTook(Clock::now() - m_writeStarted);
    m_answering.store(true, std::memory_order_relaxed);
    add(m_counters.rowsWritten, report.inserted);
    add(m_counters.rowsUpdated, report.updated);
    add(m_counters.rowsDropped, report.dropped);
    add(m_counters.datagramsCommitted, batch.datagrams());
    m_counters.datagramsPending.fetch_sub(batch.datagrams(), std::memory_order_relaxed);
    for (const std::string &note : report.notes)
        noteAll(batch.logPaths(), note);
    if (m_failing) {
        m_failing = false;
        noteAll(batch.logPaths(), "The database takes rows again; the rows kept meanwhile are "
                                  "written.");
    }
}

void PooledConnection::noteTables(const std::vector<std::string> &notes,
                                  const std::vector<std::string> &paths)
{
    std::set<std::string> current(notes.begin(), notes.end());
    for (const std::string &note : current) {
        if (!m_tableNotes.count(note))
            noteAll(paths, note);
    }
    m_tableNotes = std::move(current);
}

void PooledConnection::noteAll(const std::vector<std::string> &paths, const std::string &text)
{
    for (const std::string &path : paths)
        m_logs.note(path, text);
}

// Once per failure, not once per attempt.
void PooledConnection::noteFailure(const RowBatch &batch, const std::string &text)
{
    m_answering.store(false, std::memory_order_relaxed);
    if (m_failing)
        return;
    m_failing = true;
    noteAll(batch.logPaths(), text);
}

} // namespace ledgerwell
