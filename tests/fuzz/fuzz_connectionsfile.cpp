// The connections file as start-up reads it: any bytes, split into lines, each line's four
// fields and its port by the leading-number rule.
#include "settings/ConnectionsFile.h"

#include <cstdlib>

namespace {

const QString AppPath = QStringLiteral("/data/Varnock_UDP");

// A value that the line format can carry: the reader takes a field's value up to the next ","
// and finds each field by the first occurrence of its name.
bool carried(const QString &value)
{
    if (value.contains(QLatin1Char(',')))
        return false;
    for (const char *name : {"Port=", "Database=", "Logon=", "Log="}) {
        if (value.contains(QLatin1String(name)))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray contents =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const Result<QList<ConnectionLine>> lines =
        parseConnectionsFile(contents, QStringLiteral("connections.cfg"), AppPath);
    if (!lines)
        return 0;
    // A connection written back as a line reads as the same connection.
    for (const ConnectionLine &line : *lines) {
        if (!carried(line.database) || !carried(line.logon) || !carried(line.log))
            continue;
        const Result<ConnectionLine> again =
            parseConnectionLine(formatConnectionLine(line), AppPath);
        if (!again || again->port != line.port || again->database != line.database ||
            again->logon != line.logon || again->log != line.log)
            std::abort();
    }
    return 0;
}
