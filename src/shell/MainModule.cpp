#include "MainModule.h"

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
