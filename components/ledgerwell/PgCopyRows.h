#pragma once

#include "RowBatch.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace ledgerwell {

// Appends one row in PostgreSQL's COPY text format: tab between columns, a newline after,
// \N for null. Every value reads as the text parameter of an insert would, so a COPY stores
// what the insert would have stored. byteaColumns has a bit per column (bit 0: Record): raw
// bytes for those go as bytea hex; for any other column they go as text.
void appendCopyRow(std::string &out, const Value *values, std::size_t count,
                   std::uint32_t byteaColumns);

} // namespace ledgerwell
