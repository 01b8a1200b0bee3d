#pragma once

#include "RowBatch.h"

#include <functional>
#include <string>
#include <vector>

namespace ledgerwell {

// Rows that could not be written before the component was unloaded, kept in a file until the
// next start writes them. The file is only ever appended to: each unload adds a segment (its
// own numbering of the rows), each batch a record with a checksum, so a record cut short by
// a crash is recognised and left out.
namespace spill {

// The file for one database, in the given folder.
std::string pathFor(const std::string &folder, const std::string &databaseIdentity);

// Appends one segment holding the batches and syncs it to disk. False (with error) when
// the file cannot be written.
bool append(const std::string &path, const std::vector<const RowBatch *> &batches,
            std::string &error);

// What reading found damaged: stretches of bytes that hold no intact record.
struct Damage
{
    std::size_t stretches = 0;
    std::string text; // empty when the file is whole
};

// Reads the file: calls segment() at the start of each segment and batch() for each intact
// record. A damaged record is skipped, and reading goes on with the next intact record or
// segment; what was skipped is reported in damage. False (with error) when the file cannot
// be read.
bool read(const std::string &path, const std::function<void()> &segment,
          const std::function<void(RowBatch &&)> &batch, Damage &damage, std::string &error);

// Renames a damaged file aside (".damaged", numbered when that name is taken), so the next
// start does not read it again; returns the new name, or empty (with error).
std::string keepAside(const std::string &path, std::string &error);

} // namespace spill

} // namespace ledgerwell
