#pragma once

#include "platform/DbConnection.h"

class OperatorInteraction;

enum class GuardedResult {
    Executed = 0,  // executed and committed
    Duplicate = 1, // refused as a duplicate twice; rolled back, nothing shown
    Ignored = 2,   // the operator chose No; rolled back
    Cancelled = 3, // the operator chose Cancel: the caller stops at once and the program
                   // ends without saving; the transaction was left uncommitted
};

// Runs sql on the open db inside a transaction of its own (BeginTrans, Execute,
// CommitTrans). A failed step is tried again at once: a lock up to 10 times, anything else
// twice, a second duplicate gives up; then the operator is asked, under the title "Record is
// Locked", to keep trying (Yes), ignore the error (No) or stop (Cancel). Failures of all kinds
// count together until the operator answers. No attempt waits for a lock held elsewhere; the
// connection waits as before again once the call returns.
//
// A failure while handling a failure (RollbackTrans refused, for one) is not retried: it is
// the error result, for the caller to pass on.
Result<GuardedResult> GuardedExecute(DbConnection &db, const QString &sql, OperatorInteraction &op);

// The prompts' texts, CR LF between lines.
QString lockPromptText(const ErrorInfo &error);
QString generalPromptText(const ErrorInfo &error);
QString guardedPromptTitle();
