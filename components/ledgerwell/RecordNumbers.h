#pragma once

#include "RowBatch.h"

#include <cstdint>
#include <string>
#include <unordered_map>

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
    // resolved gets the batch's rows with every reference replaced by a Record; name rows
    // the database holds already are left out. False (with error) when a number cannot be
    // had; the transaction is then rolled back by the caller.
    bool resolve(Database &db, const RowBatch &batch, RowBatch &resolved, std::string &error);
    // The transaction committed: its numbers stand. Or it was rolled back: they are void.
    void commit();
    void discard();

    std::size_t kept() const { return m_kept.size(); }

private:
    bool lookup(std::int64_t reference, std::int64_t &record) const;

    std::unordered_map<std::int64_t, std::int64_t> m_kept;    // reference -> Record
    std::unordered_map<std::int64_t, std::int64_t> m_attempt; // this transaction's
    std::unordered_map<std::int64_t, std::int64_t> m_attemptKept;
};

} // namespace ledgerwell
