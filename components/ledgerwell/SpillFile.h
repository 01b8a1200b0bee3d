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

// Reads the file: calls segment() at the start of each segment and batch() for each record.
// False (with error) when the file cannot be read; a damaged record ends the reading and
// is reported in damage.
bool read(const std::string &path, const std::function<void()> &segment,
          const std::function<void(RowBatch &&)> &batch, std::string &damage, std::string &error);

} // namespace spill

} // namespace ledgerwell
