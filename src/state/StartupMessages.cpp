#include "StartupMessages.h"

#include <QStringList>

namespace StartupMessages {

namespace {

const QString CrLf = QStringLiteral("\r\n");

} // namespace

QString failureTitle()
{
    return QStringLiteral("Error: Can not locate Application Path");
}

QString supportContact()
{
    // No address of ours would reach anyone; the README says what to send and to whom.
    return QStringLiteral("whoever supplied your copy (see the Help section of README.md)");
}

QString failureText(const QString &detail)
{
    return QStringLiteral("Can't locate program path ") + detail +
           QStringLiteral(" for ActiveX dll.") + CrLf +
           QStringLiteral(
               "Uninstall then re-install this program...it that doesn't work then email ") +
           supportContact() + CrLf + QStringLiteral("Program is terminating.");
}

QString tooManyTitle()
{
    return QStringLiteral("Error: Too Many Connections");
}

QString tooManyText(const QList<qint32> &ports, qint32 maxCon)
{
    QStringList portTexts;
    for (qint32 port : ports)
        portTexts.append(QString::number(port));
    return QStringLiteral("The connections on port %1 were not started: this run allows %2 "
                          "connection(s) (maxcon=%2).")
               .arg(portTexts.join(QStringLiteral(", ")))
               .arg(maxCon) +
           CrLf +
           QStringLiteral(
               "Start the program with a larger maxcon= to use them. Until then they are "
               "not in the list, and saving the connections drops them from the file "
               "(the backup file keeps them).");
}

QString notice(const QList<quint16> &receivingPorts, int connections)
{
    if (connections == 0)
        return QStringLiteral(
            "Varnock_UDP is running without connections. Add one from the Tools menu.");
    QStringList ports;
    for (quint16 port : receivingPorts)
        ports.append(QString::number(port));
    const QString receiving = ports.isEmpty()
                                  ? QStringLiteral("no port")
                                  : QStringLiteral("port ") + ports.join(QStringLiteral(", "));
    return QStringLiteral("Varnock_UDP is receiving game-server logs on %1 (%2 of %3 connections).")
        .arg(receiving)
        .arg(receivingPorts.size())
        .arg(connections);
}

} // namespace StartupMessages
