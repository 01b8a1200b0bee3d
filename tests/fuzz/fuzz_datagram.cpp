// Ledgerwell's datagram path through its C interface, driven as the program drives it: a new
// instance per datagram, the seven values in slot order, Process, Release. The input is the
// datagram. The database is an SQLite file with the program's own schema, made once per
// process, so every input reaches the scoring code with tables to write to.
#include "ScriptedOperator.h"
#include "TestFiles.h"

#include "database/CreateSchema.h"
#include "intake/ScoringAbi.h"
#include "platform/SqlConnection.h"
#include "state/MainModule.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Setup
{
    QTemporaryDir folder;
    std::string connectionString;
    std::string logPath;
    long datagrams = 0;
};

Setup *setup = nullptr;

// The raw log would grow with every input of a long run; it is emptied now and then (the
// component appends, so it goes on writing at the new end).
constexpr long LogEmptiedEvery = 10000;

// Runs before the component's exit handler makes its last commit; the files it holds open
// take that commit all the same.
void removeFolder()
{
    delete setup;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // The component keeps rows and players between datagrams, so nearly every input ends with
    // more allocated than freed, and a leak scan after each would be most of the run. Leaks
    // are looked for once, at exit; a -detect_leaks given on the command line still counts.
    static std::vector<char *> arguments(*argv, *argv + *argc);
    static char leaksAtExit[] = "-detect_leaks=0";
    arguments.insert(arguments.begin() + 1, leaksAtExit);
    arguments.push_back(nullptr);
    *argc = int(arguments.size() - 1);
    *argv = arguments.data();
    // The SQL drivers are plugins, which Qt loads only with an application object.
    new QCoreApplication(*argc, *argv);
    setup = new Setup();
    if (!setup->folder.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        std::abort();
    }
    const QString file = emptyDatabase(setup->folder.filePath(QStringLiteral("statistics.db")));
    const QString connString =
        QStringLiteral("Provider=Microsoft.Jet.OLEDB.3.51;Persist Security Info=False;"
                       "Data Source=") +
        file;
    MainModule state;
    state.ConnStrings[1] = connString;
    ScriptedOperator op;
    const SchemaOutcome schema = CreateSchema(state, 1, op, newSqlConnection);
    if (!schema.status || !op.messages.isEmpty()) {
        std::fprintf(stderr, "the statistics tables could not be made\n");
        std::abort();
    }
    setup->connectionString = connString.toStdString();
    setup->logPath = setup->folder.filePath(QStringLiteral("Process.log")).toStdString();
    std::atexit(removeFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ScoreObject *object = nullptr;
    if (ScoringComponentCreate(ScoringComponentClassId(), &object) != SC_OK || !object)
        std::abort();
    const ScoreObjectVtbl *v = object->vtbl;
    if (v->SetConnectionString(object, setup->connectionString.c_str()) != SC_OK ||
        v->SetListenPort(object, 28000) != SC_OK || v->SetSenderIP(object, "127.0.0.1") != SC_OK ||
        v->SetSenderPort(object, 27015) != SC_OK ||
        v->SetLogPath(object, setup->logPath.c_str()) != SC_OK ||
        v->SetRawMode(object, 1) != SC_OK || v->SetPayload(object, data, size) != SC_OK)
        std::abort();
    // A refused datagram is an answer, not a finding; what counts is how it got there.
    v->Process(object);
    v->Release(object);
    if (++setup->datagrams % LogEmptiedEvery == 0)
        ::truncate(setup->logPath.c_str(), 0);
    return 0;
}
