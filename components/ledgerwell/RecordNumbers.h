#pragma once

#include "RowBatch.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace ledgerwell {

class Database;

// Numbers the rows of a transaction inside it, so that writers sharing a database never
// take the same Record: a name row (player, map, weapon, cvar, server ...) takes the Record
// of the same name when the database holds it already, every other row a new number from
// the database. Rows that later transactions refer to (names, games, servers) keep their
// numbers once the transaction commits.
class RecordNumbers
{
public:
    // Replaces every reference in the batch by a Record, in place (no copy of the rows);
    // name rows the database holds already are marked skipped. False (with error) when a
    // number cannot be had; the caller then rolls the transaction back and discards.
    bool resolve(Database &db, RowBatch &batch, std::string &error);
    // The transaction committed: its numbers stand. Or it was rolled back: they are void and
    // the batch holds its references again, to be numbered anew.
    void commit();
    void discard(RowBatch &batch);

    std::size_t kept() const { return m_kept.size(); }
    // For rows kept in a damaged file: a reference to a row that was lost with the damage
    // becomes 0 (refers to nothing) instead of failing the transaction.
    void referMissingToNothing(bool toNothing) { m_missingToNothing = toNothing; }

    // Replaces the references to rows written in earlier transactions by their Records, so
    // the batch can be written by another run, which does not know them. References to rows
    // of unwritten batches stay.
    void settle(RowBatch &batch) const;
    // After the batch is written: the numbers of rows nothing refers to any more go.
    void forget(const std::vector<std::int64_t> &references);

private:
    bool lookup(std::int64_t reference, std::int64_t &record) const;
    static std::string nameOf(RowBatch &batch, const Step &step);
    static std::unordered_map<std::string, std::int64_t> heldNames(Database &db, RowBatch &batch);
    std::int64_t numberedName(const std::string &name) const;

    // This transaction's rows that no later one refers to (most of them), by reference.
    // References are handed out in increasing order, so nearly every one sits at its distance
    // from the transaction's first in a plain vector: a hash node for each row cost more than
    // numbering it. Any other goes to the map.
    class Attempt
    {
    public:
        void set(std::int64_t reference, std::int64_t record);
        // False when the reference was not numbered in this attempt.
        bool find(std::int64_t reference, std::int64_t &record) const;
        void clear();

    private:
        static constexpr std::int64_t None = -1; // Records are 0 (refers to nothing) or more
        std::int64_t m_first = 0;
        std::vector<std::int64_t> m_records;
        std::unordered_map<std::int64_t, std::int64_t> m_others;
    };

    std::unordered_map<std::int64_t, std::int64_t> m_kept; // reference -> Record
    Attempt m_attempt;
    std::unordered_map<std::int64_t, std::int64_t> m_attemptKept;
    // Name rows numbered in this transaction, by table and name: a name twice in one
    // transaction (chat is not remembered between lines) gets one row.
    std::unordered_map<std::string, std::int64_t> m_attemptNames;
    std::vector<std::pair<std::size_t, std::int64_t>> m_undo; // value index, reference
    std::vector<std::size_t> m_skipped;                       // step index
    bool m_missingToNothing = false;
};

} // namespace ledgerwell
