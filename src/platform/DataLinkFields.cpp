#include "DataLinkFields.h"

#include <QList>

#include <utility>

namespace {

// A value as the connection string parser reads it back unchanged.
QString quoted(const QString &value)
{
    const bool plain = !value.contains(QLatin1Char(';')) && value.trimmed() == value &&
                       !value.startsWith(QLatin1Char('"')) && !value.startsWith(QLatin1Char('\''));
    if (plain)
        return value;
    QString doubled = value;
    doubled.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + doubled + QLatin1Char('"');
}

// A host with ":" in it (an IPv6 address) is written in brackets, so the port stays apart.
QString serverText(const DataLinkFields &fields)
{
    QString host = fields.host.trimmed();
    if (host.contains(QLatin1Char(':')) && !host.startsWith(QLatin1Char('[')))
        host = QLatin1Char('[') + host + QLatin1Char(']');
    const QString port = fields.port.trimmed();
    return port.isEmpty() ? host : host + QLatin1Char(':') + port;
}

// The fields that reach the connections file, with the names the dialog gives them.
QList<std::pair<QString, QString>> storedFields(const DataLinkFields &fields)
{
    QList<std::pair<QString, QString>> stored;
    switch (fields.provider) {
    case DataLinkProvider::SqliteFile:
        stored.append({QStringLiteral("database file"), fields.file});
        break;
    case DataLinkProvider::PostgresServer:
        stored.append({QStringLiteral("server"), fields.host});
        stored.append({QStringLiteral("port"), fields.port});
        stored.append({QStringLiteral("database"), fields.database});
        break;
    case DataLinkProvider::OdbcSource:
        stored.append({QStringLiteral("data source name"), fields.dsn});
        break;
    }
    stored.append({QStringLiteral("user name"), fields.user});
    return stored;
}

} // namespace

QString providerName(DataLinkProvider provider)
{
    switch (provider) {
    case DataLinkProvider::SqliteFile:
        return QStringLiteral("SQLite");
    case DataLinkProvider::PostgresServer:
        return QStringLiteral("PostgreSQL");
    case DataLinkProvider::OdbcSource:
        return QStringLiteral("MSDASQL");
    }
    return QString();
}

QString dataLinkProblem(const DataLinkFields &fields)
{
    switch (fields.provider) {
    case DataLinkProvider::SqliteFile:
        if (fields.file.trimmed().isEmpty())
            return QStringLiteral("Choose the database file.");
        break;
    case DataLinkProvider::PostgresServer: {
        if (fields.host.trimmed().isEmpty())
            return QStringLiteral("Name the server.");
        if (fields.database.trimmed().isEmpty())
            return QStringLiteral("Name the database on the server.");
        const QString port = fields.port.trimmed();
        bool ok = true;
        const int number = port.isEmpty() ? 1 : port.toInt(&ok);
        if (!ok || number < 1 || number > 65535)
            return QStringLiteral("The port must be a number from 1 to 65535, not \"%1\".")
                .arg(port);
        break;
    }
    case DataLinkProvider::OdbcSource:
        if (fields.dsn.trimmed().isEmpty())
            return QStringLiteral("Name the data source.");
        break;
    }
    for (const auto &[name, value] : storedFields(fields)) {
        if (value.contains(QLatin1Char(',')))
            return QStringLiteral("The %1 can not contain \",\": the connections file would "
                                  "cut the connection there.")
                .arg(name);
        for (const QLatin1String field : {QLatin1String("Log="), QLatin1String("Logon=")}) {
            if (value.contains(field))
                return QStringLiteral("The %1 can not contain \"%2\": the connections file "
                                      "would read it as its own field.")
                    .arg(name, field);
        }
    }
    if (fields.password.contains(QLatin1Char(';')))
        return QStringLiteral("The password can not contain \";\": part of it would be shown "
                              "in the list and written to the connections file.");
    return QString();
}

QString dataLinkConnectionString(const DataLinkFields &fields)
{
    QStringList elements;
    elements << QStringLiteral("Provider=") + providerName(fields.provider);
    elements << QStringLiteral("Persist Security Info=") +
                    (fields.allowSavingPassword ? QStringLiteral("True") : QStringLiteral("False"));
    if (!fields.user.isEmpty())
        elements << QStringLiteral("User ID=") + quoted(fields.user);
    if (!fields.password.isEmpty())
        elements << QStringLiteral("User Password=") + quoted(fields.password);
    switch (fields.provider) {
    case DataLinkProvider::SqliteFile:
        elements << QStringLiteral("Data Source=") + quoted(fields.file.trimmed());
        break;
    case DataLinkProvider::PostgresServer:
        elements << QStringLiteral("Data Source=") + quoted(serverText(fields));
        elements << QStringLiteral("Initial Catalog=") + quoted(fields.database.trimmed());
        break;
    case DataLinkProvider::OdbcSource:
        elements << QStringLiteral("Data Source=") + quoted(fields.dsn.trimmed());
        break;
    }
    return elements.join(QLatin1Char(';'));
}
