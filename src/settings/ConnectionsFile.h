#pragma once

#include "WriteHooks.h"

#include "platform/Result.h"
#include "state/ConnectionList.h"

#include <QList>
#include <QString>

// The connections file: one line per connection,
// "Port=28000,Database=<connection string>,Logon=False,Log=<log path>", lines ended by CR LF.
// It is the only place where the operator's connections outlive the program, so every writer
// replaces the file as a whole or leaves it as it was, and the writers that change an
// existing file keep its previous contents in the ".old" backup beside it first.

// One connection line as read: the Database value is the full connection string.
struct ConnectionLine
{
    qint32 port = 28000;
    QString database;
    QString logon;
    QString log;
};

// The connection string of the default connection: test.mdb in the program folder.
QString defaultDatabase(const QString &appPath);
// Port 28000, the default database, no logon, Process.log in the program folder.
ConnectionLine defaultConnection(const QString &appPath);

// "Port=..,Database=..,Logon=..,Log=.." without a line end.
QString formatConnectionLine(const ConnectionLine &line);
QString formatConnectionLine(const QString &portText, const QString &database, const QString &logon,
                             const QString &log);

// A hand-prepared file may start with this line; it is no connection.
bool isHeaderLine(const QString &line);

// One line: each field found by its name wherever it stands, its value up to the next ",";
// a missing field takes its default; Port is read by the leading-number rule. A port outside
// the 32-bit range is a failure.
Result<ConnectionLine> parseConnectionLine(const QString &line, const QString &appPath);

// Every connection line of the file in order, header lines skipped. Fails when the file
// cannot be opened or read, or a line's port is out of range.
Result<QList<ConnectionLine>> readConnectionsFile(const QString &path, const QString &appPath);
// The same for contents already read; path only names the file in a failure.
Result<QList<ConnectionLine>> parseConnectionsFile(const QByteArray &contents, const QString &path,
                                                   const QString &appPath);

// The backup beside the file: the file name's last "." and what follows become ".old"
// (connections.cfg -> connections.old); a name without "." gets ".old" appended.
QString backupPath(const QString &path);

// Copies the file to its backup without empty or all-blank lines; the previous backup is
// replaced only by a complete new one.
Status makeBackup(const QString &path, const WriteHooks &hooks = {});

// The file with the default connection alone; no backup (there is no file to keep).
Status writeDefaultFile(const QString &path, const QString &appPath, const WriteHooks &hooks = {});

// The file from the connection list: creates the program folder (one level) when missing,
// backs up an existing file, then writes one line per row in list order (row text, database
// display text, logon, log). An empty list gives an empty file.
Status rewriteConnectionsFile(const QString &path, const QString &appPath,
                              const QList<ConnectionRow> &rows, const WriteHooks &hooks = {});

// Adds one line at the end of the file (creating it when missing). The Add command makes the
// backup itself before it asks anything, so none is made here.
Status appendConnectionLine(const QString &path, const ConnectionLine &line,
                            const WriteHooks &hooks = {});
