#pragma once

#include "Tables.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace ledgerwell {

// One bound parameter.
struct Value
{
    // Ref: the Record of a row this writer made, numbered only when its transaction is
    // written (integer holds the reference), so no other writer can take the number.
    enum class Kind : std::uint8_t { Null, Integer, Real, Text, Blob, Ref };

    Kind kind = Kind::Null;
    std::int64_t integer = 0;
    double real = 0;
    std::string bytes; // Text (UTF-8) or Blob

    static Value null() { return {}; }
    static Value of(std::int64_t v) { return {Kind::Integer, v, 0, {}}; }
    static Value of(double v) { return {Kind::Real, 0, v, {}}; }
    static Value of(std::string v) { return {Kind::Text, 0, 0, std::move(v)}; }
    static Value blob(std::string_view v) { return {Kind::Blob, 0, 0, std::string(v)}; }
    // A row's Record as the scoring state holds it: a number the database gave (> 0), a
    // reference to a row not yet written (< 0), or 0 for none.
    static Value record(std::int64_t handle)
    {
        return handle < 0 ? Value{Kind::Ref, -handle, 0, {}} : of(handle);
    }
    // Null for an empty text: a value the log did not give.
    static Value textOrNull(std::string v)
    {
        return v.empty() ? null() : Value{Kind::Text, 0, 0, std::move(v)};
    }
};

struct Step
{
    Statement statement;
    std::uint32_t firstValue;
    bool skipped = false;   // a name row the database holds already: not written
    bool transient = false; // no later transaction refers to this row
};

// The rows of one transaction: what a group of datagrams wrote, in order. It is kept until
// the transaction commits, so a failed transaction can be written again as it was.
class RowBatch
{
public:
    using Clock = std::chrono::steady_clock;

    template <typename... Values> void add(Statement statement, Values &&...values)
    {
        static_assert((std::is_same_v<std::decay_t<Values>, Value> && ...));
        m_steps.push_back({statement, std::uint32_t(m_values.size())});
        m_bytes += sizeof(Step) + sizeof...(Values) * sizeof(Value);
        ((m_bytes += values.bytes.size()), ...);
        (m_values.push_back(std::forward<Values>(values)), ...);
    }

    // The row just added is referred to in this transaction only (chat, for example), so
    // its number need not be kept once the transaction is written.
    void markLastTransient() { m_steps.back().transient = true; }

    // For numbering the rows in place when the transaction is written.
    Value &value(std::size_t index) { return m_values[index]; }
    void setSkipped(std::size_t step, bool skipped) { m_steps[step].skipped = skipped; }

    const std::vector<Step> &steps() const { return m_steps; }
    const Value *values(const Step &step) const { return m_values.data() + step.firstValue; }
    bool empty() const { return m_steps.empty() && m_datagrams == 0; }
    std::size_t rows() const { return m_steps.size(); }
    std::size_t bytes() const { return m_bytes; }

    // Room for as many rows as the previous transaction had, so a busy stream does not
    // grow the vectors step by step.
    void reserveLike(const RowBatch &previous)
    {
        m_steps.reserve(previous.m_steps.size());
        m_values.reserve(previous.m_values.size());
    }

    // Empties a written batch for a later transaction but keeps its room, so a busy stream
    // neither grows the vectors again nor touches fresh pages for every transaction.
    void recycle();

    // A datagram whose rows are in the batch; the first one starts its age.
    void countDatagram(Clock::time_point now, const std::string &logPath);
    std::uint32_t datagrams() const { return m_datagrams; }
    Clock::time_point opened() const { return m_opened; }
    // The log files of the datagrams, for notes about the transaction.
    const std::vector<std::string> &logPaths() const { return m_logPaths; }

    // References of rows made in this or earlier batches that the scoring state no longer
    // holds: once this batch is written, nothing refers to them any more.
    std::vector<std::int64_t> &forgotten() { return m_forgotten; }

    // For keeping a batch in a file and reading it back.
    const std::vector<Value> &allValues() const { return m_values; }
    static RowBatch restored(std::vector<Step> steps, std::vector<Value> values,
                             std::uint32_t datagrams, std::vector<std::string> logPaths);

private:
    std::vector<Step> m_steps;
    std::vector<Value> m_values;
    std::size_t m_bytes = 0;
    std::uint32_t m_datagrams = 0;
    Clock::time_point m_opened;
    std::vector<std::string> m_logPaths;
    std::vector<std::int64_t> m_forgotten;
};

} // namespace ledgerwell
