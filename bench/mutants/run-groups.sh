#!/bin/sh
# Runs the mutation groups from the root of a checkout with a configured build dir.
# Usage: bench/mutants/run-groups.sh BUILD OUTDIR [SITES-DIR]
#   without SITES-DIR: the seeded baseline picks (--count/--seed);
#   with SITES-DIR: exactly the sites listed in SITES-DIR/<group>.sites (one FILE:LINE:COL a line).
# MUTANT_GROUPS="settings database" runs only those groups; MUTANT_TIMEOUT (default 180 s)
# bounds each suite, so that a mutant that hangs a suite costs less in an after-run.
# PostgreSQL must be up in the calling shell (scripts/pg-test-server start), or its suites skip.
set -u
build=$1
out=$2
sites=${3:-}
mutants=${MUTANTS:-../shared/tools/mutants}
mkdir -p "$out"

group() {
    name=$1 count=$2 tests=$3 targets=$4
    shift 4
    case " ${MUTANT_GROUPS:-ledgerwell writers settings database intake stats editing shell endtoend platform dialogs} " in
    *" $name "*) ;;
    *) return 0 ;;
    esac
    if [ -n "$sites" ]; then
        [ -s "$sites/$name.sites" ] || return 0
        pick="--site $(tr '\n' ' ' < "$sites/$name.sites")"
    else
        pick="--count $count --seed 24"
    fi
    # shellcheck disable=SC2086
    "$mutants" --build "$build" --files "$@" $pick --tests "$tests" --target $targets \
        --timeout "${MUTANT_TIMEOUT:-180}" --json "$out/$name.json" > "$out/$name.log" 2>&1
}

lw=components/ledgerwell
group ledgerwell 60 'tst_ledgerwell|tst_reallogs|fuzz_logline|fuzz_datagram' \
    "Ledgerwell ledgerwell_probe ledgerwell-coverage tst_ledgerwell_parsing tst_ledgerwell_keptrows
     tst_ledgerwell_replay tst_ledgerwell_lifecycle tst_ledgerwell_attribution tst_ledgerwell_trust
     tst_ledgerwell_reallines tst_ledgerwell_written tst_reallogs fuzz_logline fuzz_datagram" \
    $lw/LogLine.cpp $lw/Ledger.cpp $lw/LedgerEvents.cpp $lw/LedgerGames.cpp $lw/PlayerEvents.cpp \
    $lw/ServerEvents.cpp $lw/TextRules.cpp $lw/TrustRules.cpp $lw/SenderCheck.cpp \
    $lw/SenderGate.cpp $lw/AllowedSender.cpp
# Ledgerwell's writing side: the pooled connection and its thread, both writers, the rows
# kept over a stop, with the suites that write through them.
group writers 60 'tst_ledgerwell|tst_unloadkeep|tst_manywriters' \
    "Ledgerwell ledgerwell_probe tst_ledgerwell_parsing tst_ledgerwell_keptrows
     tst_ledgerwell_replay tst_ledgerwell_lifecycle tst_ledgerwell_attribution tst_ledgerwell_trust
     tst_ledgerwell_reallines tst_ledgerwell_written tst_unloadkeep tst_manywriters varnock_udp" \
    $lw/PooledConnection.cpp $lw/PooledConnectionThread.cpp $lw/SqliteDatabase.cpp \
    $lw/PgDatabase.cpp $lw/PgCopyRows.cpp $lw/RowBatch.cpp $lw/RecordNumbers.cpp \
    $lw/SpillFile.cpp $lw/RefusalNotes.cpp $lw/Database.cpp $lw/LibraryState.cpp
group settings 25 'tst_connectionsf|tst_registrysettings|tst_progpath|fuzz_connectionsfile' \
    "tst_connectionsfile tst_connectionsfaults tst_registrysettings tst_progpath fuzz_connectionsfile" \
    'src/settings/*.cpp'
group database 25 'tst_database' \
    "Ledgerwell tst_database_schema tst_database_login tst_database_postgres" \
    'src/database/*.cpp'
group intake 30 'tst_intake|tst_regserver|tst_httpintake|tst_unloadkeep|fuzz_logpost|tst_startup$|tst_executable' \
    "Ledgerwell tst_intake tst_regserver tst_httpintake tst_unloadkeep fuzz_logpost
     tst_startup tst_executable" \
    'src/intake/*.cpp' 'src/httpintake/*.cpp'
# The pages and the standings writer over every stats file but main.cpp, and the CS2
# round_stats blocks the match page reads.
group stats 60 'tst_stats' \
    "Ledgerwell varnock_stats tst_stats tst_stats_truth tst_stats_rating tst_stats_match" \
    $(ls stats/*.cpp | grep -v main.cpp) $lw/RoundStats.cpp
# The standings' rules and the pages' own code, each with the one suite that tests it; run only
# when named: MUTANT_GROUPS="stats-rating stats-pages".
group stats-rating 40 '^tst_stats_rating$' "tst_stats_rating" stats/SkillRating.cpp \
    stats/Standings.cpp stats/StandingsStore.cpp stats/GamePlacement.cpp stats/RoundQueue.cpp \
    stats/RoundSides.cpp stats/RoundState.cpp
group stats-pages 30 '^tst_stats$' "Ledgerwell varnock_stats tst_stats" stats/StatsHttpServer.cpp \
    stats/StatsRoutes.cpp stats/Html.cpp stats/ListPages.cpp stats/RankingsPage.cpp \
    stats/StatsOptions.cpp stats/StatsServer.cpp stats/StatsSite.cpp stats/StatsQueries.cpp \
    stats/PlayerPage.cpp
group editing 20 'tst_addconnection|tst_changeconnection|tst_editingdialogs|tst_mainform|tst_startup$' \
    "tst_addconnection tst_changeconnection tst_editingdialogs tst_mainform tst_startup" \
    'src/editing/*.cpp'
group shell 20 'tst_mainform|tst_startupvalues|tst_consolestatus|tst_startup$|tst_executable|tst_registration' \
    "tst_mainform tst_startupvalues tst_consolestatus tst_startup tst_executable tst_registration" \
    'src/shell/*.cpp'
# What only the whole program exercises: the program-wide state, the metrics page, main().
group endtoend 15 'tst_executable|tst_startup$|tst_registration|tst_unloadkeep|tst_manywriters|tst_metrics|tst_textfunctions' \
    "Ledgerwell tst_executable tst_startup tst_registration tst_unloadkeep tst_manywriters
     tst_metrics tst_textfunctions" \
    src/main.cpp 'src/state/*.cpp' 'src/metrics/*.cpp'
# The executable's own suites are left to the shell and endtoend groups: they double a run.
group platform 25 'tst_udpsocketarray|tst_dbconnection|tst_logindialog|tst_datalinkdialog|tst_editingdialogs|tst_kerneldrops|tst_portsockets|tst_readerthread|tst_connectionstring|tst_database_|tst_intake|tst_startup$' \
    "Ledgerwell tst_udpsocketarray tst_dbconnection tst_logindialog tst_datalinkdialog tst_editingdialogs tst_kerneldrops
     tst_portsockets tst_readerthread
     tst_connectionstring tst_database_schema tst_database_login tst_database_postgres tst_intake
     tst_startup" \
    'src/platform/*.cpp'
# The operator's dialogs alone, with the suites that drive them: the platform group's share of
# them is too small to say what each dialog suite protects.
group dialogs 15 'tst_logindialog|tst_datalinkdialog|tst_editingdialogs|tst_addconnection|tst_changeconnection' \
    "tst_logindialog tst_datalinkdialog tst_editingdialogs tst_addconnection tst_changeconnection" \
    src/platform/ValueDialogs.cpp src/platform/DataLinkDialog.cpp src/platform/DataLinkFields.cpp \
    src/platform/LoginDialog.cpp src/platform/WidgetsOperator.cpp
# src/platform in two halves, each with the suites that drive it; run only when named:
# MUTANT_GROUPS="sockets dblinks". The sockets, the reader thread and its inbox:
pf=src/platform
group sockets 34 'tst_udpsocketarray|tst_portsockets|tst_readerthread|tst_kerneldrops|tst_editingdialogs' \
    "tst_udpsocketarray tst_portsockets tst_readerthread tst_kerneldrops tst_editingdialogs" \
    $pf/UdpSocketArray.cpp $pf/UdpSocketElement.cpp $pf/DatagramSocket.cpp $pf/DatagramReader.cpp \
    $pf/DatagramInbox.cpp $pf/DatagramBlock.cpp $pf/DatagramBatch.cpp $pf/ArrivalMerge.cpp \
    $pf/KernelDrops.cpp $pf/SocketErrors.cpp $pf/BoundPorts.cpp $pf/ListenSocket.cpp \
    $pf/PromptWakeUps.cpp
# the database links, their providers, the connection strings and the operator's dialogs:
group dblinks 34 'tst_dbconnection|tst_datalinkdialog|tst_logindialog|tst_editingdialogs|tst_connectionstring' \
    "tst_dbconnection tst_datalinkdialog tst_logindialog tst_editingdialogs tst_connectionstring" \
    $pf/DbConnection.cpp $pf/DbErrors.cpp $pf/SqlConnection.cpp $pf/SqlProvider.cpp \
    $pf/SqliteProvider.cpp $pf/PostgresProvider.cpp $pf/OdbcProvider.cpp $pf/EmptyDatabaseFile.cpp \
    $pf/ConnectionString.cpp $pf/DataLinkDialog.cpp $pf/DataLinkFields.cpp $pf/LoginDialog.cpp \
    $pf/ValueDialogs.cpp $pf/WidgetsOperator.cpp $pf/Twips.cpp 'common/connectionstring/*.cpp'
