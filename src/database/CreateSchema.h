#pragma once

#include "platform/DbConnection.h"

class MainModule;
class OperatorInteraction;

struct SchemaOutcome
{
    // A failure of the open, of the schema queries, or one that GuardedExecute passed on:
    // for the caller's database failure message.
    Status status;
    // The operator chose Cancel in a statement prompt: the schema work stopped at once, the
    // database was closed without committing, and the caller ends the program without saving.
    bool cancelled = false;
};

// Makes sure the database of connection n (ConnStrings[n], n from 1 to MaxCon) holds the 17
// statistics tables: opens it, asks the provider for its type names and its tables, creates
// every missing table (an exact, case-sensitive name of type "TABLE" counts as present)
// through GuardedExecute, and closes it. Existing tables are never altered; a table whose
// statement was given up stays missing until the next activation.
SchemaOutcome CreateSchema(const MainModule &state, qint32 n, OperatorInteraction &op,
                           const DbConnectionFactory &newConnection);
