#include "GuardedExecute.h"

#include "platform/DbErrors.h"
#include "platform/OperatorInteraction.h"

#include <QScopeGuard>

namespace {

enum class FailureKind { Lock, Duplicate, Other };

constexpr int LockAttempts = 10;
constexpr int OtherAttempts = 2;

FailureKind classify(const ErrorInfo &error)
{
    if (error.number != DbErrors::Locked && error.number != DbErrors::Duplicate)
        return FailureKind::Other;
    if (error.description.contains(QLatin1String("locked")))
        return FailureKind::Lock;
    if (error.description.contains(QLatin1String("duplicate")))
        return FailureKind::Duplicate;
    return FailureKind::Other;
}

} // namespace

QString guardedPromptTitle()
{
    return QStringLiteral("Record is Locked");
}

QString lockPromptText(const ErrorInfo &error)
{
    return QStringList{QStringLiteral("Database is temporarily locked by another process."),
                       QStringLiteral("I can keep trying for a few more seconds."),
                       QStringLiteral("Click Yes to continue trying,"),
                       QStringLiteral("Click No to ignore error# ") +
                           QString::number(error.number) + QStringLiteral(": ") + error.description,
                       QStringLiteral("Click Cancel to stop processing the current log.")}
        .join(QLatin1String("\r\n"));
}

QString generalPromptText(const ErrorInfo &error)
{
    return QStringList{
        QStringLiteral("An error occured...please make a note of the following information: "),
        QStringLiteral("Error # ") + QString::number(error.number),
        error.description,
        QStringLiteral("I can keep trying for a couple more seconds."),
        QStringLiteral("Click Yes to continue trying,"),
        QStringLiteral("Click No to ignore the error."),
        QStringLiteral("Click Cancel to stop processing the current log.")}
        .join(QLatin1String("\r\n"));
}

Result<GuardedResult> GuardedExecute(DbConnection &db, const QString &sql, OperatorInteraction &op)
{
    // The retries follow each other at once. An attempt that waited out the engine's busy
    // timeout would hold the window and every port for ten times that before each prompt.
    if (const Status noWait = db.setLockWait(false); !noWait)
        return noWait.error();
    // Its owner closes the connection right after the schema work, so a connection that could
    // not be set back loses nothing.
    const auto waitAgain = qScopeGuard([&db] { db.setLockWait(true); });

    enum Step { Begin, Execute, Commit, Done };
    int step = Begin;
    int failures = 0;
    while (step != Done) {
        Status done;
        switch (step) {
        case Begin:
            done = db.BeginTrans();
            break;
        case Execute:
            done = db.Execute(sql);
            break;
        default:
            done = db.CommitTrans();
            break;
        }
        if (done) {
            ++step;
            continue;
        }

        // The failed step is tried again unless the count calls for more.
        const ErrorInfo error = done.error();
        ++failures;
        QString prompt;
        switch (classify(error)) {
        case FailureKind::Lock:
            if (failures < LockAttempts)
                continue;
            prompt = lockPromptText(error);
            break;
        case FailureKind::Duplicate:
            if (failures < OtherAttempts)
                continue;
            if (const Status rolledBack = db.RollbackTrans(); !rolledBack)
                return rolledBack.error();
            return GuardedResult::Duplicate;
        case FailureKind::Other:
            if (failures < OtherAttempts)
                continue;
            prompt = generalPromptText(error);
            break;
        }

        switch (op.messageBox(prompt, OperatorInteraction::Buttons::YesNoCancel,
                              guardedPromptTitle())) {
        case OperatorInteraction::Answer::Yes:
            failures = 0;
            break;
        case OperatorInteraction::Answer::No:
            if (const Status rolledBack = db.RollbackTrans(); !rolledBack)
                return rolledBack.error();
            return GuardedResult::Ignored;
        default:
            return GuardedResult::Cancelled;
        }
    }
    return GuardedResult::Executed;
}
