#include "SpillFile.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace ledgerwell::spill {

namespace {

constexpr char Magic[8] = {'L', 'W', 'S', 'P', 'I', 'L', 'L', '2'};
// Segments of version 1 were written before Ledgerwell_Details: their statements after the
// tables' inserts come one number lower.
constexpr std::uint8_t TableCountOfVersion1 = 21;
// Larger than any batch (the waiting rows are capped far below), so a length never reads as
// the segment mark.
constexpr std::uint32_t MaxRecord = 0x40000000;

std::uint64_t checksum(const std::string &bytes)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (const unsigned char c : bytes) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

template <typename T> void put(std::string &out, T value)
{
    out.append(reinterpret_cast<const char *>(&value), sizeof value);
}

void putText(std::string &out, const std::string &text)
{
    put(out, std::uint32_t(text.size()));
    out += text;
}

std::string encode(const RowBatch &batch)
{
    std::string out;
    put(out, std::uint32_t(batch.steps().size()));
    for (const Step &step : batch.steps()) {
        put(out, std::uint8_t(step.statement));
        put(out, step.firstValue);
        put(out, std::uint8_t(step.transient));
    }
    put(out, std::uint32_t(batch.allValues().size()));
    for (const Value &value : batch.allValues()) {
        put(out, std::uint8_t(value.kind));
        put(out, value.integer);
        put(out, value.real);
        putText(out, value.bytes);
    }
    put(out, batch.datagrams());
    put(out, std::uint32_t(batch.logPaths().size()));
    for (const std::string &path : batch.logPaths())
        putText(out, path);
    return out;
}

class Reader
{
public:
    explicit Reader(const std::string &bytes)
        : m_bytes(bytes)
    {
    }
    template <typename T> bool get(T &value)
    {
        if (m_bytes.size() - m_at < sizeof value)
            return false;
        std::memcpy(&value, m_bytes.data() + m_at, sizeof value);
        m_at += sizeof value;
        return true;
    }
    bool getText(std::string &text)
    {
        std::uint32_t size = 0;
        if (!get(size) || m_bytes.size() - m_at < size)
            return false;
        text.assign(m_bytes, m_at, size);
        m_at += size;
        return true;
    }
    bool done() const { return m_at == m_bytes.size(); }

private:
    const std::string &m_bytes;
    std::size_t m_at = 0;
};

bool decode(const std::string &bytes, RowBatch &batch, int version)
{
    Reader in(bytes);
    std::uint32_t count = 0;
    if (!in.get(count) || count > bytes.size())
        return false;
    std::vector<Step> steps(count);
    for (Step &step : steps) {
        std::uint8_t statement = 0;
        std::uint8_t transient = 0;
        if (!in.get(statement) || !in.get(step.firstValue) || !in.get(transient))
            return false;
        if (version == 1 && statement >= TableCountOfVersion1)
            ++statement;
        if (statement >= StatementCount)
            return false;
        step.statement = Statement(statement);
        step.transient = transient != 0;
    }
    if (!in.get(count) || count > bytes.size())
        return false;
    std::vector<Value> values(count);
    for (Value &value : values) {
        std::uint8_t kind = 0;
        if (!in.get(kind) || kind > std::uint8_t(Value::Kind::Ref) || !in.get(value.integer) ||
            !in.get(value.real) || !in.getText(value.bytes))
            return false;
        value.kind = Value::Kind(kind);
    }
    for (const Step &step : steps) {
        if (step.firstValue + parameterCount(step.statement) > values.size())
            return false;
    }
    std::uint32_t datagrams = 0;
    if (!in.get(datagrams) || !in.get(count) || count > bytes.size())
        return false;
    std::vector<std::string> paths(count);
    for (std::string &path : paths) {
        if (!in.getText(path))
            return false;
    }
    if (!in.done())
        return false;
    batch = RowBatch::restored(std::move(steps), std::move(values), datagrams, std::move(paths));
    return true;
}

std::string systemError(const std::string &what, const std::string &path)
{
    return what + " " + path + ": " + std::strerror(errno);
}

bool writeAll(int fd, const std::string &bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        done += std::size_t(wrote);
    }
    return true;
}

} // namespace

std::string pathFor(const std::string &folder, const std::string &databaseIdentity)
{
    char name[64];
    std::snprintf(name, sizeof name, "Ledgerwell-unwritten-%016llx.rows",
                  static_cast<unsigned long long>(checksum(databaseIdentity)));
    return (folder.empty() ? std::string(".") : folder) + "/" + name;
}

bool append(const std::string &path, const std::vector<const RowBatch *> &batches,
            std::string &error)
{
    std::string bytes(Magic, sizeof Magic);
    for (const RowBatch *batch : batches) {
        const std::string record = encode(*batch);
        put(bytes, std::uint32_t(record.size()));
        bytes += record;
        put(bytes, checksum(record));
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = systemError("Can not open", path);
        return false;
    }
    const bool written = writeAll(fd, bytes) && ::fsync(fd) == 0;
    if (!written)
        error = systemError("Can not write", path);
    ::close(fd);
    return written;
}

namespace {

// The version of the segment mark at `at`, or 0 when there is none.
int segmentVersion(const std::string &bytes, std::size_t at)
{
    if (bytes.size() - at < sizeof Magic || std::memcmp(bytes.data() + at, Magic, 7) != 0)
        return 0;
    return bytes[at + 7] == '2' ? 2 : bytes[at + 7] == '1' ? 1 : 0;
}

// The record at `at` when it is whole and its checksum holds; `end` is where it ends.
bool recordAt(const std::string &bytes, std::size_t at, int version, RowBatch &decoded,
              std::size_t &end)
{
    std::uint32_t size = 0;
    std::uint64_t sum = 0;
    if (bytes.size() - at < sizeof size)
        return false;
    std::memcpy(&size, bytes.data() + at, sizeof size);
    if (size >= MaxRecord || bytes.size() - at - sizeof size < size + sizeof sum)
        return false;
    // Cheap tests first: while looking past damage, most places fail here.
    std::uint32_t steps = 0;
    if (size < sizeof steps + 1)
        return false;
    std::memcpy(&steps, bytes.data() + at + sizeof size, sizeof steps);
    if (steps > size || (steps > 0 && std::uint8_t(bytes[at + 8]) >= StatementCount))
        return false;
    const std::string record = bytes.substr(at + sizeof size, size);
    std::memcpy(&sum, bytes.data() + at + sizeof size + size, sizeof sum);
    if (sum != checksum(record) || !decode(record, decoded, version))
        return false;
    end = at + sizeof size + size + sizeof sum;
    return true;
}

// Where reading goes on after damage at `at`: the next segment mark or intact record.
std::size_t nextIntact(const std::string &bytes, std::size_t at, int version)
{
    RowBatch ignored;
    std::size_t end = 0;
    for (std::size_t next = at + 1; next < bytes.size(); ++next) {
        if (segmentVersion(bytes, next) ||
            (version && recordAt(bytes, next, version, ignored, end)))
            return next;
    }
    return bytes.size();
}

} // namespace

bool read(const std::string &path, const std::function<void()> &segment,
          const std::function<void(RowBatch &&)> &batch, Damage &damage, std::string &error)
{
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file) {
        error = systemError("Can not open", path);
        return false;
    }
    std::string bytes;
    char buffer[65536];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        bytes.append(buffer, got);
    const bool failed = std::ferror(file);
    std::fclose(file);
    if (failed) {
        error = systemError("Can not read", path);
        return false;
    }
    std::size_t at = 0;
    int version = 0; // 0: not in a segment
    while (at < bytes.size()) {
        if (const int mark = segmentVersion(bytes, at)) {
            at += sizeof Magic;
            version = mark;
            segment();
            continue;
        }
        RowBatch decoded;
        std::size_t end = 0;
        if (version && recordAt(bytes, at, version, decoded, end)) {
            batch(std::move(decoded));
            at = end;
            continue;
        }
        const std::size_t next = nextIntact(bytes, at, version);
        ++damage.stretches;
        damage.text += std::string(damage.text.empty() ? "" : "; ") + std::to_string(next - at) +
                       " bytes at byte " + std::to_string(at) + " of " + path +
                       " are damaged and were left out";
        at = next;
    }
    return true;
}

std::string keepAside(const std::string &path, std::string &error)
{
    for (int number = 1; number < 1000; ++number) {
        const std::string aside =
            path + ".damaged" + (number == 1 ? std::string() : "-" + std::to_string(number));
        // link() never replaces a file: an earlier damaged file keeps its name.
        if (::link(path.c_str(), aside.c_str()) == 0) {
            ::unlink(path.c_str());
            return aside;
        }
        if (errno != EEXIST) {
            error = systemError("Can not keep aside", path);
            return {};
        }
    }
    error = "too many damaged files beside " + path;
    return {};
}

} // namespace ledgerwell::spill
