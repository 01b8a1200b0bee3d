#include "RefusedDatagrams.h"

#include <QLocale>

namespace {

// Whole megabytes where the budget is a whole number of them, as it is set.
QString megabytes(qint64 bytes)
{
    constexpr qint64 MiB = 1024 * 1024;
    if (bytes % MiB == 0)
        return QString::number(bytes / MiB);
    return QString::number(double(bytes) / double(MiB), 'f', 2);
}

} // namespace

QString refusedDatagramsText(quint16 port, int connection, qint64 budgetBytes)
{
    return QStringLiteral("Datagrams on port %1 (connection %2) were refused: the program holds "
                          "%3 MB of datagrams not yet handed over.")
        .arg(QString::number(port), QString::number(connection), megabytes(budgetBytes));
}
