#include "DroppedDatagram.h"

namespace {

// The failure's text as a clause inside the message: on one line, without the full stop
// that ends it as a sentence of its own.
QString asClause(const QString &description)
{
    QString clause = description.simplified();
    while (clause.endsWith(QLatin1Char('.')))
        clause.chop(1);
    return clause;
}

} // namespace

QString droppedDatagramText(const ErrorInfo &error, qint64 bytes, const QString &portText,
                            int connection)
{
    // One arg() call for all: a chain would read the failure's text for further markers.
    return QStringLiteral("Error # %1:%2 while handling %3 bytes of data on port %4 "
                          "(connection %5); the datagram was dropped.")
        .arg(QString::number(error.number), asClause(error.description), QString::number(bytes),
             portText, QString::number(connection));
}
