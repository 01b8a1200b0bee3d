#include "StatsOptions.h"

#include "platform/ClassRegistry.h"
#include "settings/ConnectionsFile.h"
#include "settings/ProgPathModule.h"
#include "state/MainModule.h"

std::optional<std::pair<QHostAddress, quint16>> parseListen(const QString &text)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return std::nullopt;
    QString host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    else if (host.contains(QLatin1Char(':')))
        return std::nullopt; // an IPv6 address with a port needs its brackets
    bool ok = false;
    const uint port = text.mid(colon + 1).toUInt(&ok);
    QHostAddress address;
    if (host == QLatin1String("localhost"))
        address = QHostAddress::LocalHost;
    else if (!address.setAddress(host))
        return std::nullopt;
    if (!ok || port < 1 || port > 65535)
        return std::nullopt;
    return std::pair{address, quint16(port)};
}

QString statsUsage()
{
    return QStringLiteral(
        "usage: varnock_stats [--listen ADDRESS:PORT] [--database CONNECTION_STRING]...\n"
        "\n"
        "  --listen ADDRESS:PORT   where the pages are served (default 127.0.0.1:8080)\n"
        "  --database STRING       a statistics database, e.g. \"Provider=SQLite;Data "
        "Source=/path/stats.db\";\n"
        "                          repeat for more; without it, the databases of the program\n"
        "                          folder's connections.cfg\n");
}

Result<StatsOptions> parseStatsOptions(const QStringList &arguments)
{
    StatsOptions options;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            options.help = true;
            continue;
        }
        QString name = argument, value;
        const qsizetype equals = argument.indexOf(QLatin1Char('='));
        if (argument.startsWith(QLatin1String("--")) && equals > 0 &&
            !argument.startsWith(QLatin1String("--database"))) {
            name = argument.left(equals);
            value = argument.mid(equals + 1);
        } else if (argument.startsWith(QLatin1String("--database="))) {
            name = QStringLiteral("--database");
            value = argument.mid(11);
        } else if (argument == QLatin1String("--listen") ||
                   argument == QLatin1String("--database")) {
            if (i + 1 >= arguments.size())
                return ErrorInfo{2, argument + QStringLiteral(" needs a value.")};
            value = arguments.at(++i);
        }
        if (name == QLatin1String("--listen")) {
            const auto listen = parseListen(value);
            if (!listen)
                return ErrorInfo{2, QStringLiteral("--listen wants ADDRESS:PORT, such as "
                                                   "127.0.0.1:8080 or [::1]:8080, not \"%1\".")
                                        .arg(value)};
            options.address = listen->first;
            options.port = listen->second;
        } else if (name == QLatin1String("--database")) {
            if (value.trimmed().isEmpty())
                return ErrorInfo{2, QStringLiteral("--database needs a connection string.")};
            options.databases << value;
        } else {
            return ErrorInfo{2, QStringLiteral("unknown option \"%1\".").arg(argument)};
        }
    }
    return options;
}

Result<QStringList> connectionsFileDatabases()
{
    MainModule state;
    state.DefaultAppPath = defaultAppPath();
    if (const Status located = LocateAppPath(state, ClassRegistry()); !located)
        return located.error();
    const QString file = state.AppPath + QLatin1Char('/') + state.CfgFile;
    const Result<QList<ConnectionLine>> lines = readConnectionsFile(file, state.AppPath);
    if (!lines)
        return ErrorInfo{1, QStringLiteral("cannot read the connections file %1 (%2); name a "
                                           "database with --database")
                                .arg(file, lines.error().description)};
    QStringList databases;
    for (const ConnectionLine &line : *lines) {
        if (!databases.contains(line.database))
            databases << line.database;
    }
    if (databases.isEmpty())
        return ErrorInfo{1, QStringLiteral("the connections file %1 names no database; name one "
                                           "with --database")
                                .arg(file)};
    return databases;
}
