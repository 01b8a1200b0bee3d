#include "ConnectionsFile.h"

#include "FileErrors.h"

#include "state/NumberText.h"

#include <optional>

namespace {

const QString HeaderLine = QStringLiteral("Port=,Database=,Logon=,Log=");

// The value of the field `name`: from after its first occurrence up to the next "," or the
// end of the line; nothing when the name does not occur. The search is case-sensitive.
std::optional<QString> fieldValue(const QString &line, const QString &name)
{
    const qsizetype p = line.indexOf(name);
    if (p < 0)
        return std::nullopt;
    const qsizetype start = p + name.size();
    qsizetype end = line.indexOf(QLatin1Char(','), p);
    if (end < 0)
        end = line.size();
    return line.mid(start, end - start);
}

} // namespace

QString defaultDatabase(const QString &appPath)
{
    return QStringLiteral(
               "Provider=Microsoft.Jet.OLEDB.3.51;Persist Security Info=False;Data Source=") +
           appPath + QStringLiteral("/test.mdb");
}

ConnectionLine defaultConnection(const QString &appPath)
{
    return ConnectionLine{28000, defaultDatabase(appPath), QStringLiteral("False"),
                          appPath + QStringLiteral("/Process.log")};
}

QString formatConnectionLine(const ConnectionLine &line)
{
    return formatConnectionLine(QString::number(line.port), line.database, line.logon, line.log);
}

QString formatConnectionLine(const QString &portText, const QString &database, const QString &logon,
                             const QString &log)
{
    return QStringLiteral("Port=") + portText + QStringLiteral(",Database=") + database +
           QStringLiteral(",Logon=") + logon + QStringLiteral(",Log=") + log;
}

bool isHeaderLine(const QString &line)
{
    return line == HeaderLine;
}

Result<ConnectionLine> parseConnectionLine(const QString &line, const QString &appPath)
{
    ConnectionLine connection = defaultConnection(appPath);
    if (const std::optional<QString> port = fieldValue(line, QStringLiteral("Port="))) {
        const std::optional<qint32> number = NumberText::toInt32(*port);
        if (!number)
            return ErrorInfo{FileErrorNumber::Overflow,
                             QStringLiteral("Overflow: the port \"%1\" is outside the 32-bit "
                                            "number range")
                                 .arg(*port)};
        connection.port = *number;
    }
    if (const std::optional<QString> database = fieldValue(line, QStringLiteral("Database=")))
        connection.database = *database;
    if (const std::optional<QString> log = fieldValue(line, QStringLiteral("Log=")))
        connection.log = *log;
    if (const std::optional<QString> logon = fieldValue(line, QStringLiteral("Logon=")))
        connection.logon = *logon;
    return connection;
}
