#pragma once

#include <QString>

// What the Data Link Properties dialog asks for, and the connection string it makes of it.
enum class DataLinkProvider {
    SqliteFile,     // "Provider=SQLite": a database file
    PostgresServer, // "Provider=PostgreSQL": host, port and database on a server
    OdbcSource,     // "Provider=MSDASQL": an ODBC data source name
};

struct DataLinkFields
{
    DataLinkProvider provider = DataLinkProvider::SqliteFile;
    QString file;     // SqliteFile
    QString host;     // PostgresServer
    QString port;     // PostgresServer, "" for the server's default
    QString database; // PostgresServer
    QString dsn;      // OdbcSource
    QString user;
    QString password;
    bool allowSavingPassword = false;
};

// The provider's name in a connection string.
QString providerName(DataLinkProvider provider);

// Why the fields can not become a connection that the connections file keeps; "" when they
// can. Everything but the password ends up in a line of that file, where a "," ends the value
// and the field names "Log=" and "Logon=" would be found inside it; the password is cut out
// of the text again, which a ";" inside it would defeat.
QString dataLinkProblem(const DataLinkFields &fields);

// "Provider=P;Persist Security Info=False;User ID=u;User Password=p;Data Source=d[;Initial
// Catalog=c]": the user and password elements only when typed, Persist Security Info True
// when saving the password is allowed. It sits right after Provider so that the display text,
// which drops it and the password, reads without a dangling ";". Values that the providers
// would otherwise read differently (a ";", blanks at either end, a leading quote) are quoted.
QString dataLinkConnectionString(const DataLinkFields &fields);
