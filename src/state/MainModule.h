#pragma once

#include "ConnectionList.h"
#include "StatusLine.h"

#include "platform/UdpSocketArray.h"

#include <QString>
#include <QStringList>

// The program-wide state: the settings, the connection table and the status line. There is
// one per run; the parts of the program get it by reference.
//
// Connection N is three things kept together: the list row keyed ConnKey(N), ConnStrings[N]
// and the socket element udpPeerB(N). N, never the port, indexes all of them.
class MainModule
{
public:
    MainModule();
    MainModule(const MainModule &) = delete;
    MainModule &operator=(const MainModule &) = delete;

    // Settings.
    QString AppPath;
    QString DefaultAppPath;
    QString ScoreProgId = QStringLiteral("Ledgerwell.Score_Class");
    QString ScoreDll = QStringLiteral("Ledgerwell.so");
    QString ScoreClsid;
    QString CmdLine;
    qint32 MaxCon = 10;
    qint16 RawLogging = 1;
    QString CfgFile = QStringLiteral("connections.cfg");
    QString RegAppKey = QStringLiteral("Varnock_UDP");

    // The connection table.
    QStringList ConnStrings; // indexes 0 to MaxCon; element 0 is never used
    ConnectionList ListView1;
    UdpSocketArray udpPeerB;

    // The status line.
    StatusLine Label1;

    // The log path of the connection line read last at start-up.
    QString LogFile;

    // The last answer confirmed with OK in either value dialog; never cleared.
    QString DlgValue;
    // The log file dialog's file name: empty until a log file is first asked for, then the
    // file proposed or chosen last, by Add or by the Log command alike.
    QString CommonDialog1FileName;

    // Sizes ConnStrings for connection numbers 1 to MaxCon.
    void createConnStrings();
    bool hasConnSlot(qint32 n) const { return n >= 1 && n < ConnStrings.size(); }

    // Loads socket element N and binds it to the port written in portText; a port of 0 leaves
    // the element loaded but unbound.
    Status activateSocket(qint32 n, const QString &portText);

    // The File menu's raw logging switch: 1 becomes 0, anything else becomes 1.
    void switchRawLogging();
};
