#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

// What the calculator that reads log files with nothing of Ledgerwell's or the pages'
// (tests/reallogs/expected.py) works out; `arguments`: its mode and the files. Empty, with
// `error` saying why, when it fails.
inline QJsonObject calculated(const QStringList &arguments, QString &error)
{
    QProcess python;
    python.start(QStringLiteral("python3"),
                 QStringList{QStringLiteral(REALLOGS_SCRIPTS "/expected.py")} + arguments);
    if (!python.waitForFinished(120000) || python.exitCode() != 0) {
        error = "expected.py failed: " + QString::fromUtf8(python.readAllStandardError());
        return {};
    }
    QJsonParseError parseError;
    const QJsonDocument document =
        QJsonDocument::fromJson(python.readAllStandardOutput(), &parseError);
    if (!document.isObject())
        error = "expected.py printed no JSON object: " + parseError.errorString();
    return document.object();
}
