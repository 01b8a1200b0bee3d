#include "ClosingSave.h"

#include "LayoutValues.h"
#include "MainForm.h"
#include "state/MainModule.h"

#include "platform/OperatorInteraction.h"
#include "settings/ConnectionsFile.h"
#include "settings/RegistrySettings.h"

#include <QDir>

bool saveConnections(MainModule &state, OperatorInteraction &op)
{
    const QString path = QDir(state.AppPath).filePath(state.CfgFile);
    const Status saved = rewriteConnectionsFile(path, state.AppPath, state.ListView1.rows());
    if (saved)
        return true;
    op.messageBox(
        QStringLiteral("Error # %1:%2").arg(saved.error().number).arg(saved.error().description),
        OperatorInteraction::Buttons::Ok, QStringLiteral("Error: Can not save connections"));
    return false;
}

void closingSave(MainModule &state, const MainForm &form, OperatorInteraction &op)
{
    saveConnections(state, op);
    const auto save = [&state](const QString &name, double value) {
        SaveRegValue(state.RegAppKey, name, LayoutValues::numberText(value));
    };
    save(QStringLiteral("WindowTop"),
         LayoutValues::savedEdge(form.topTwips(), form.screenHeightTwips()));
    save(QStringLiteral("WindowLeft"),
         LayoutValues::savedEdge(form.leftTwips(), form.screenWidthTwips()));
    save(QStringLiteral("WindowHeight"), form.heightTwips());
    save(QStringLiteral("WindowWidth"), form.widthTwips());
    for (int column = 1; column <= 4; ++column)
        save(QStringLiteral("Column(%1)Width").arg(column), form.columnWidthTwips(column));
}
