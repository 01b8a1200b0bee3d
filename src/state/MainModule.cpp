#include "MainModule.h"

#include "NumberText.h"

MainModule::MainModule()
{
    createConnStrings();
}

void MainModule::createConnStrings()
{
    ConnStrings = QStringList(qsizetype(MaxCon) + 1);
}

void MainModule::switchRawLogging()
{
    RawLogging = RawLogging == 1 ? 0 : 1;
}

Status MainModule::activateSocket(qint32 n, const QString &portText)
{
    const std::optional<qint32> port = NumberText::toInt32(portText);
    if (!port)
        return ErrorInfo{6, QStringLiteral("Overflow: port %1 is out of range").arg(portText)};
    if (const Status loaded = udpPeerB.Load(n); !loaded)
        return loaded;
    if (*port == 0)
        return {};
    return udpPeerB.element(n)->Bind(*port);
}
