#include "EditingTexts.h"

#include "state/TextFunctions.h"

namespace EditingTexts {

namespace {

const QLatin1String CrLf("\r\n");
const QLatin1String NotSaved("New connection has not been saved.");

QString errorLine(const ErrorInfo &error)
{
    return QStringLiteral("Error # %1:%2").arg(error.number).arg(error.description);
}

} // namespace

QString portInUseTitle()
{
    return QStringLiteral("Error: Port Already In Use");
}

QString addPortInUseText(qint64 port)
{
    return changePortInUseText(port) + NotSaved;
}

QString changePortInUseText(qint64 port)
{
    return QStringLiteral("Port %1 is already in use.").arg(port) + CrLf;
}

QString invalidPortTitle()
{
    return QStringLiteral("Error: Invalid Port Number");
}

QString invalidPortText(const ErrorInfo &error, bool adding)
{
    return errorLine(error) + CrLf +
           (adding ? QString(NotSaved) : QStringLiteral("The connection keeps its port."));
}

QString tooManyText(qint32 port, qint32 maxCon)
{
    return QStringLiteral("Port %1 can not be added: this run allows %2 connection(s) "
                          "(maxcon=%2) and all of them are in use.")
               .arg(port)
               .arg(maxCon) +
           CrLf + NotSaved;
}

QString noSelectionTitle()
{
    return QStringLiteral("No Connection Selected");
}

QString noSelectionText()
{
    return QStringLiteral("Select a connection in the list first.");
}

QString backupFailedTitle()
{
    return QStringLiteral("Error: Can not back up connections");
}

QString backupFailedText(const ErrorInfo &error)
{
    return errorLine(error) + CrLf +
           QStringLiteral("The connections file is unchanged; the new connection is still "
                          "added to it.");
}

QString appendFailedTitle()
{
    return QStringLiteral("Error: Can not save connections");
}

QString appendFailedText(const ErrorInfo &error)
{
    return errorLine(error) + CrLf +
           QStringLiteral("The new connection stays in the list and is written to the "
                          "connections file with the others at the next save.");
}

QString addPlaceholderDatabase(const QString &defaultAppPath)
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.3.51;Data Source=") + defaultAppPath +
           QStringLiteral("/test.mdb");
}

QString editedDisplayText(const QString &connString)
{
    return StripSegment(StripSegment(connString, QStringLiteral(";User Password=")),
                        QStringLiteral(";Persist Security Info="));
}

QString databaseMenuCaption(const QString &displayText)
{
    return QStringLiteral("&Database ") + displayText;
}

} // namespace EditingTexts
