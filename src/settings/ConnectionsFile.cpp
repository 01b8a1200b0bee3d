#include "ConnectionsFile.h"

#include "FileErrors.h"
#include "SafeFile.h"
#include "TextLines.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <optional>
#include <sys/stat.h>

namespace {

const QString PreviousFileKept = QStringLiteral("the previous file is unchanged");

bool isBlankLine(const QByteArray &line)
{
    for (const char c : line) {
        if (c != ' ')
            return false;
    }
    return true;
}

// A line break inside a value would split the connection into two lines of the file, and the
// next start would read them as two connections; such a value is refused instead.
std::optional<QString> fieldWithLineBreak(const QString &portText, const QString &database,
                                          const QString &logon, const QString &log)
{
    const auto hasBreak = [](const QString &value) {
        return value.contains(QLatin1Char('\r')) || value.contains(QLatin1Char('\n'));
    };
    if (hasBreak(portText))
        return QStringLiteral("port");
    if (hasBreak(database))
        return QStringLiteral("database");
    if (hasBreak(logon))
        return QStringLiteral("logon check");
    if (hasBreak(log))
        return QStringLiteral("log file path");
    return std::nullopt;
}

// The connection line with its line end, or why it cannot be written into `path`.
Result<QByteArray> lineBytes(const QString &path, const QString &portText, const QString &database,
                             const QString &logon, const QString &log)
{
    if (const std::optional<QString> field = fieldWithLineBreak(portText, database, logon, log))
        return ErrorInfo{FileErrorNumber::InvalidArgument,
                         QStringLiteral("Can not write %1: the %2 of the connection on port %3 "
                                        "contains a line break; %4")
                             .arg(path, *field, portText.simplified(), PreviousFileKept)};
    return formatConnectionLine(portText, database, logon, log).toUtf8() + "\r\n";
}

// The backup copy; a failure is returned as it happened, the caller says what it means.
Status copyToBackup(const QString &path, const WriteHooks &hooks)
{
    const Result<QByteArray> contents = readFileContents(path);
    if (!contents)
        return contents.error();
    QList<QByteArray> kept;
    for (const QByteArray &line : splitLines(*contents)) {
        if (!isBlankLine(line))
            kept.append(line);
    }
    return replaceFileContents(backupPath(path), joinLines(kept), hooks);
}

// The program folder, one level: its parent must exist.
Status createFolder(const QString &folder)
{
    if (QFileInfo(folder).isDir())
        return {};
    if (::mkdir(QFile::encodeName(folder).constData(), 0777) == 0)
        return {};
    return fileError(errno, QStringLiteral("Can not create the folder"), folder,
                     FileAccess::Writing);
}

} // namespace

Result<QList<ConnectionLine>> readConnectionsFile(const QString &path, const QString &appPath)
{
    const Result<QByteArray> contents = readFileContents(path);
    if (!contents)
        return contents.error();
    return parseConnectionsFile(*contents, path, appPath);
}

Result<QList<ConnectionLine>> parseConnectionsFile(const QByteArray &contents, const QString &path,
                                                   const QString &appPath)
{
    const QList<QByteArray> lines = splitLines(withoutByteOrderMark(contents));
    QList<ConnectionLine> connections;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString text = QString::fromUtf8(lines.at(i));
        if (isHeaderLine(text))
            continue;
        const Result<ConnectionLine> line = parseConnectionLine(text, appPath);
        if (!line)
            return ErrorInfo{line.error().number, QStringLiteral("Can not read %1, line %2: %3")
                                                      .arg(path)
                                                      .arg(i + 1)
                                                      .arg(line.error().description)};
        connections.append(*line);
    }
    return connections;
}

QString backupPath(const QString &path)
{
    // Only the file name counts: folders such as ~/.local have dots of their own.
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot > slash)
        return path.left(dot) + QStringLiteral(".old");
    return path + QStringLiteral(".old");
}

Status makeBackup(const QString &path, const WriteHooks &hooks)
{
    const Status copied = copyToBackup(path, hooks);
    if (!copied)
        return withConsequence(copied.error(), QStringLiteral("the previous backup is unchanged"));
    return {};
}

Status writeDefaultFile(const QString &path, const QString &appPath, const WriteHooks &hooks)
{
    const ConnectionLine line = defaultConnection(appPath);
    const Result<QByteArray> bytes =
        lineBytes(path, QString::number(line.port), line.database, line.logon, line.log);
    if (!bytes)
        return bytes.error();
    const Status written = replaceFileContents(path, *bytes, hooks);
    if (!written)
        return withConsequence(written.error(), PreviousFileKept);
    return {};
}

Status rewriteConnectionsFile(const QString &path, const QString &appPath,
                              const QList<ConnectionRow> &rows, const WriteHooks &hooks)
{
    QByteArray contents;
    for (const ConnectionRow &row : rows) {
        const Result<QByteArray> bytes =
            lineBytes(path, row.text, row.database, row.logon, row.log);
        if (!bytes)
            return bytes.error();
        contents += *bytes;
    }

    const QString notSaved = QStringLiteral("the connections were not saved and %1 is unchanged");
    const Status folder = createFolder(appPath);
    if (!folder)
        return withConsequence(folder.error(), notSaved.arg(path));
    if (QFileInfo::exists(path)) {
        // Without its backup the previous contents would be gone, so no backup, no rewrite.
        const Status backup = copyToBackup(path, hooks);
        if (!backup)
            return withConsequence(
                backup.error(),
                QStringLiteral("the connections were not saved; %1 and its backup are unchanged")
                    .arg(path));
    }
    const Status written = replaceFileContents(path, contents, hooks);
    if (!written)
        return withConsequence(written.error(), PreviousFileKept);
    return {};
}

Status appendConnectionLine(const QString &path, const ConnectionLine &line,
                            const WriteHooks &hooks)
{
    const Result<QByteArray> bytes =
        lineBytes(path, QString::number(line.port), line.database, line.logon, line.log);
    if (!bytes)
        return bytes.error();

    QByteArray contents;
    if (QFileInfo::exists(path)) {
        const Result<QByteArray> previous = readFileContents(path);
        if (!previous)
            return withConsequence(previous.error(),
                                   QStringLiteral("the connection was not added"));
        contents = *previous;
    }
    // A file edited by hand may end without a line end; the new line still starts a line.
    if (!contents.isEmpty() && !contents.endsWith('\n') && !contents.endsWith('\r'))
        contents += "\r\n";
    contents += *bytes;

    const Status written = replaceFileContents(path, contents, hooks);
    if (!written)
        return withConsequence(written.error(), PreviousFileKept);
    return {};
}
