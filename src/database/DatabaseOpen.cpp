#include "DatabaseOpen.h"

Result<std::unique_ptr<DbConnection>> OpenDatabase(const DbConnectionFactory &newConnection,
                                                   const QString &connString)
{
    std::unique_ptr<DbConnection> connection = newConnection();
    const Status opened = connection->Open(connString);
    if (!opened)
        return opened.error();
    return connection;
}
