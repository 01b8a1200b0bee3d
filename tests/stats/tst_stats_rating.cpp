#include "TestMain.h"

#include "GamePlacement.h"
#include "RoundQueue.h"
#include "RoundSides.h"
#include "RoundState.h"
#include "SkillRating.h"
#include "Standings.h"
#include "StandingsStore.h"

#include <QSqlQuery>
#include <QTemporaryDir>

using Joins = QList<std::pair<qint64, QString>>;
using Sides = QHash<qint64, QString>;
using Games = QList<qint64>;
Q_DECLARE_METATYPE(Joins)
Q_DECLARE_METATYPE(Sides)
Q_DECLARE_METATYPE(QList<RoundKill>)
using Bomb = QHash<qint64, int>;

namespace {

// Rows as a server writes them: killer, victim, Offset, the game Ledgerwell_Kills names (0:
// none), and the game the row belongs to.
struct PlacedRow
{
    qint64 killer, victim, offset, known, expected;
};

} // namespace
Q_DECLARE_METATYPE(QList<PlacedRow>)

// The rating rules and the standings' bookkeeping, on contests and rows made up for them.
class TestStatsRating : public QObject
{
    Q_OBJECT

private slots:
    void contestMovesBothTowardTheResult_data()
    {
        QTest::addColumn<double>("winnerMu");
        QTest::addColumn<double>("loserMu");
        addRow("equals", 25.0, 25.0);
        addRow("favourite wins", 35.0, 15.0);
        addRow("upset", 15.0, 35.0);
    }
    void contestMovesBothTowardTheResult()
    {
        QFETCH(double, winnerMu);
        QFETCH(double, loserMu);
        Skill winner{winnerMu, 25.0 / 3}, loser{loserMu, 25.0 / 3};
        rateContest({&winner}, {&loser});
        QVERIFY(winner.mu > winnerMu);
        QVERIFY(loser.mu < loserMu);
        QVERIFY(winner.sigma < 25.0 / 3);
        QVERIFY(loser.sigma < 25.0 / 3);
        // Equal uncertainty: what one wins the other loses.
        QVERIFY(qAbs((winner.mu - winnerMu) + (loser.mu - loserMu)) < 1e-9);
    }

    void upsetTeachesMoreThanExpectedWin()
    {
        Skill strong{35, 5}, weak{15, 5};
        Skill strong2 = strong, weak2 = weak;
        rateContest({&strong}, {&weak});
        rateContest({&weak2}, {&strong2});
        QVERIFY(weak2.mu - 15 > strong.mu - 35);
    }

    void uncertainMemberLearnsMost()
    {
        Skill known{25, 1}, newcomer{25, 25.0 / 3}, a{25, 4}, b{25, 4};
        rateContest({&known, &newcomer}, {&a, &b});
        QVERIFY(newcomer.mu - 25 > 10 * (known.mu - 25));
        QVERIFY(known.mu > 25);
    }

    void oneSidedContestChangesNothing()
    {
        Skill alone{25, 8};
        rateContest({&alone}, {});
        QCOMPARE(alone.mu, 25.0);
        QCOMPARE(alone.sigma, 8.0);
    }

    void rowsCountInTheirGamesScopes()
    {
        Standings standings;
        GameInfo game;
        game.scopes << "server:1"
                    << "mod:csgo";
        const auto row = [](const char *type, qint64 killer, qint64 victim, qint64 offset,
                            qint64 gameRecord, qint64 score = 0, bool headshot = false) {
            ScoreEvent event;
            event.type = type;
            event.killer = killer;
            event.victim = victim;
            event.weapon = 7;
            event.offset = offset;
            event.game = gameRecord;
            event.score = score;
            event.headshot = headshot;
            return event;
        };
        for (const ScoreEvent &event : {row("kill", 1, 2, 10, 5, 1, true), row("kill", 1, 2, 40, 5),
                                        row("attack", 1, 2, 45, 5, 30), row("suicide", 2, 2, 50, 5),
                                        row("assist", 2, 1, 900, 5), row("kill", 1, 1, 60, 5)})
            standings.apply(event, game);
        for (const QString &scope : game.scopes) {
            const Totals one = standings.totals({scope, 1});
            const Totals two = standings.totals({scope, 2});
            QCOMPARE(one.kills, 3);
            QCOMPARE(one.headshots, 1);
            QCOMPARE(one.deaths, 1); // killed by himself: a shared placeholder id
            QCOMPARE(one.damage, 30);
            QCOMPARE(two.deaths, 3);
            QCOMPARE(two.suicides, 1);
            QCOMPARE(two.assists, 1);
            // 10 -> 40 -> 45, then 900 after a gap over five minutes, then 60: before it
            QCOMPARE(one.seconds, 35);
            QCOMPARE(two.seconds, 40); // 10 -> 40 -> 45 -> 50, then the gap
            QVERIFY(one.skill.mu > two.skill.mu);
        }
        QCOMPARE(standings.weapon({0, 7}).kills, 3);
        QCOMPARE(standings.weapon({2, 7}).deaths, 2);
        const Standings::Changes changes = standings.takeChanges();
        QCOMPARE(changes.lines.value({5, 1}).kills, 3);
        QCOMPARE(changes.lines.value({5, 1}).damage, 30);
        QCOMPARE(changes.lines.value({5, 2}).deaths, 3);
        QCOMPARE(changes.lines.value({5, 2}).suicides, 1);
    }

    // A history point is the rating after the player's last contest of that game, whenever
    // the changes are taken.
    void historyPointIsTheRatingAfterItsGame()
    {
        Standings standings;
        GameInfo first, second;
        first.start = "2024-05-01 20:00:00";
        second.start = "2024-05-01 21:00:00";
        ScoreEvent kill;
        kill.type = "kill";
        kill.killer = 1;
        kill.victim = 2;
        kill.game = 5;
        standings.apply(kill, first);
        standings.apply(kill, first);
        const Skill afterFirst = standings.totals({QString(), 1}).skill;
        kill.game = 6;
        standings.apply(kill, second);
        const Standings::Changes changes = standings.takeChanges();
        const HistoryPoint point = changes.history.value({{QString(), 1}, 5});
        QCOMPARE(point.skill.mu, afterFirst.mu);
        QCOMPARE(point.skill.sigma, afterFirst.sigma);
        QCOMPARE(point.start, first.start);
        QVERIFY(changes.history.value({{QString(), 1}, 6}).skill.mu > afterFirst.mu);
    }

    // Server 1 plays games 10, 11 and 13, server 2 game 12 (length 600 s, game 10: 100 s).
    void rowsArePlacedInTheirGames_data()
    {
        QTest::addColumn<QList<PlacedRow>>("rows");
        QTest::newRow("stays while the Offset grows") << QList<PlacedRow>{
            {1, 2, 5, 0, 10}, {2, 1, 50, 0, 10}, {1, 0, 60, 0, 10}, {1, 1, 70, 0, 10}};
        QTest::newRow("Offset back to the start: the next map")
            << QList<PlacedRow>{{1, 2, 50, 0, 10}, {1, 2, 20, 0, 11}, {1, 2, 30, 0, 11}};
        QTest::newRow("past the game's end: the next map")
            << QList<PlacedRow>{{1, 2, 50, 0, 10}, {1, 2, 150, 0, 11}};
        QTest::newRow("a game the victim was not in is skipped")
            << QList<PlacedRow>{{1, 2, 50, 0, 10}, {1, 3, 5, 0, 13}};
        QTest::newRow("a known game moves the server on")
            << QList<PlacedRow>{{1, 2, 50, 0, 10}, {4, 2, 1, 11, 11}, {1, 2, 3, 0, 11}};
        QTest::newRow("another server's game")
            << QList<PlacedRow>{{1, 2, 50, 0, 10}, {5, 6, 10, 0, 12}, {1, 2, 60, 0, 10}};
        QTest::newRow("nobody's game") << QList<PlacedRow>{{7, 0, 5, 0, 0}};
    }
    void rowsArePlacedInTheirGames()
    {
        QFETCH(QList<PlacedRow>, rows);
        const QHash<qint64, Games> games = {{1, {10, 11, 13}}, {2, {10, 11, 12}}, {3, {13}},
                                            {4, {11}},         {5, {12}},         {6, {12}}};
        const QHash<qint64, GameFacts> facts = {
            {10, {1, 100}}, {11, {1, 600}}, {12, {2, 600}}, {13, {1, -1}}};
        GamePlacement placement([&](qint64 player) { return Result<Games>(games.value(player)); },
                                [&](qint64 game) { return Result<GameFacts>(facts.value(game)); });
        qint64 last = 0;
        for (const PlacedRow &row : rows) {
            const Result<GamePlacement::Placed> placed =
                row.known ? placement.known(row.known, row.offset)
                          : placement.place(row.killer, row.victim, row.offset, last);
            QVERIFY(placed.ok());
            QCOMPARE(placed->game, row.expected);
            last = placed->game;
        }
    }

    void roundSidesFollowJoinsSwapsAndKills_data()
    {
        QTest::addColumn<QStringList>("scores"); // the game's rounds so far, the last is this
        QTest::addColumn<Joins>("joins");
        QTest::addColumn<QList<RoundKill>>("kills");
        QTest::addColumn<Bomb>("bomb"); // what each player did with the bomb
        QTest::addColumn<Sides>("sides");
        const Joins halfTime = {{1, "CT"}, {2, "TERRORIST"}, {1, "TERRORIST"}, {2, "CT"}};
        QTest::newRow("first half")
            << QStringList{"1:0", "2:0"} << halfTime << QList<RoundKill>{{1, 2, true}} << Bomb{}
            << Sides{{1, "CT"}, {2, "TERRORIST"}};
        QTest::newRow("after the swap")
            << QStringList{"11:4", "5:11"} << halfTime << QList<RoundKill>{{1, 2, true}} << Bomb{}
            << Sides{{1, "TERRORIST"}, {2, "CT"}};
        QTest::newRow("level score is no swap")
            << QStringList{"4:4", "5:4"} << halfTime << QList<RoundKill>{{2, 1, true}} << Bomb{}
            << Sides{{1, "CT"}, {2, "TERRORIST"}};
        QTest::newRow("one team only, spectators and who was not in the round")
            << QStringList{"11:4", "5:11"}
            << Joins{{1, "CT"}, {2, "TERRORIST"}, {3, "Spectator"}, {3, "CT"}, {4, "CT"}}
            << QList<RoundKill>{{3, 2, true}, {1, 1, false}} << Bomb{}
            << Sides{{1, "CT"}, {2, "TERRORIST"}, {3, "CT"}};
        QTest::newRow("on a team he never joined: left out")
            << QStringList{"1:0"} << Joins{{1, "CT"}, {2, "CT"}, {3, "TERRORIST"}}
            << QList<RoundKill>{{1, 2, true}, {3, 1, true}} << Bomb{}
            << Sides{{1, "CT"}, {3, "TERRORIST"}};
        QTest::newRow("kills that contradict each other: all left out")
            << QStringList{"1:0"} << Joins{{1, "CT"}, {2, "TERRORIST"}, {3, "CT"}}
            << QList<RoundKill>{{1, 2, true}, {2, 3, true}, {3, 1, true}} << Bomb{} << Sides{};
        // Warm-up teams in the joins' order put everyone the wrong way round; the planter
        // says so.
        QTest::newRow("the bomb turns the sides")
            << QStringList{"1:0"} << halfTime << QList<RoundKill>{{1, 2, true}} << Bomb{{1, 1}}
            << Sides{{1, "TERRORIST"}, {2, "CT"}};
        QTest::newRow("turned onto a team he never joined: left out")
            << QStringList{"1:0"} << Joins{{1, "CT"}, {2, "TERRORIST"}, {3, "CT"}, {3, "TERRORIST"}}
            << QList<RoundKill>{{1, 2, true}, {3, 2, true}} << Bomb{{3, 1}, {2, -1}}
            << Sides{{3, "TERRORIST"}};
    }
    void roundSidesFollowJoinsSwapsAndKills()
    {
        QFETCH(QStringList, scores);
        QFETCH(Joins, joins);
        QFETCH(QList<RoundKill>, kills);
        QFETCH(Bomb, bomb);
        QFETCH(Sides, sides);
        SideState state;
        for (int i = 0; i + 1 < scores.size(); ++i)
            roundSides(state, joins, {}, scores.at(i));
        QCOMPARE(roundSides(state, joins, {kills, bomb, {}}, scores.last()), sides);
    }

    // Player 1 joined CT, changed to TERRORIST before the match: his kills say where; half time
    // swaps everyone.
    void aSideOnceKnownCarriesToTheNextRounds()
    {
        const Joins joins = {{1, "CT"},        {2, "TERRORIST"}, {3, "CT"},
                             {4, "CT"},        {1, "TERRORIST"}, {2, "CT"},
                             {3, "TERRORIST"}, {4, "TERRORIST"}};
        SideState state;
        QCOMPARE(
            roundSides(state, joins, {{{3, 2, true}, {1, 4, true}, {1, 3, true}}, {}, {}}, "1:0"),
            (Sides{{1, "TERRORIST"}, {2, "TERRORIST"}, {3, "CT"}, {4, "CT"}}));
        // Two players alone: their joins would tie, the last round decides.
        QCOMPARE(roundSides(state, joins, {{{1, 4, true}}, {}, {}}, "2:0"),
                 (Sides{{1, "TERRORIST"}, {4, "CT"}}));
        QCOMPARE(roundSides(state, joins, {{{4, 1, true}}, {}, {}}, "1:2"),
                 (Sides{{1, "CT"}, {4, "TERRORIST"}}));
    }

    // TF2's stopwatch moves everyone to the other colour at half time, a join each and no
    // score to show it; a team joined after he fought in a round is his from the next one.
    void aTeamJoinedCountsFromHisNextFight()
    {
        const Joins joins = {{1, "Red"},  {2, "Blue"}, {3, "Blue"}, {3, "unknown"},
                             {1, "Blue"}, {2, "Red"},  {3, "Red"}};
        SideState state;
        QCOMPARE(roundSides(state, joins, {{{1, 2, true}, {3, 1, true}}, {}, {}}, ""),
                 (Sides{{1, "Red"}, {2, "Blue"}, {3, "Blue"}}));
        // 1 and 2 fight once more as they were (the winners' hunt), then all three move.
        const QList<RoundJoin> swap = {{1, "Blue", 1}, {2, "Red", 1}, {3, "Red", 1}};
        QCOMPARE(roundSides(state, joins, {{{1, 2, true}, {1, 3, true}}, {}, swap}, ""),
                 (Sides{{1, "Blue"}, {2, "Red"}, {3, "Red"}}));
        // Both change back after they fought: that shows in the round after. A restart
        // between two rounds goes on from what was stored.
        const QList<RoundJoin> back = {{1, "Red", 1}, {2, "Blue", 1}};
        const RoundState kept = roundStateFrom(roundStateText({state, {{{1, 2, true}}, {}, back}}));
        state = kept.sides;
        QCOMPARE(roundSides(state, joins, kept.round, ""), (Sides{{1, "Blue"}, {2, "Red"}}));
        state = roundStateFrom(roundStateText({state, {}})).sides;
        QCOMPARE(roundSides(state, joins, {{{2, 1, true}}, {}, {}}, ""),
                 (Sides{{1, "Red"}, {2, "Blue"}}));
    }

    void roundsWaitForTheirPlaceAmongTheKills()
    {
        RoundQueue queue;
        queue.add({3, 8, 50, "CT", "1:0", "CTs_Win"});
        queue.add({4, 7, 100, "CT", "1:0", "CTs_Win"});
        queue.add({5, 7, 200, "TERRORIST", "1:1", "Terrorists_Win"});
        QVERIFY(queue.takeBefore(7, 100).isEmpty()); // a kill in the round's last second
        QCOMPARE(queue.takeBefore(7, 101).size(), 1);
        QCOMPARE(queue.cursor(5), 2); // round 3 still waits
        QCOMPARE(queue.ratedPast(5), QList<qint64>{4});
        QCOMPARE(queue.takeAll(8).size(), 1);
        QCOMPARE(queue.cursor(5), 4);
        // Its own trigger row places a round exactly, before a kill in the same second.
        QVERIFY(queue.takeMarked("Terrorists_Win", 199).isEmpty());
        QVERIFY(queue.takeMarked("CTs_Win", 200).isEmpty());
        QCOMPARE(queue.takeMarked("Terrorists_Win", 200).size(), 1);
        QCOMPARE(queue.cursor(5), 5);
        RoundQueue restarted; // rounds rated before a restart are not rated again
        restarted.restoreRated(4);
        restarted.add({4, 7, 100, "CT", "1:0", "CTs_Win"});
        QVERIFY(restarted.games().isEmpty());
    }

    // A flush the engine refuses part-way leaves nothing of itself behind and says why; the
    // writer then starts again from what was stored before.
    void refusedFlushLeavesNothing()
    {
        QTemporaryDir dir;
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "refused");
        db.setDatabaseName(dir.filePath("stats.db"));
        QVERIFY(db.open());
        {
            StandingsStore store(db);
            QVERIFY(store.prepare());
            QSqlQuery full(db);
            // The weapons come after the standings in a flush: those are written by then.
            QVERIFY(full.exec("CREATE TRIGGER full BEFORE INSERT ON Stats_Weapons BEGIN SELECT "
                              "RAISE(ABORT, 'no room left'); END"));
            Standings standings;
            ScoreEvent kill;
            kill.type = "kill";
            kill.killer = 1;
            kill.victim = 2;
            kill.weapon = 7;
            standings.apply(kill, GameInfo{});
            const Status flushed = store.flush(standings, {{"scores", 1}}, {});
            QVERIFY(!flushed);
            QVERIFY2(flushed.error().description.contains("no room left"),
                     qPrintable(flushed.error().description));
            QVERIFY(full.exec("SELECT (SELECT COUNT(*) FROM Stats_Standings) + (SELECT COUNT(*) "
                              "FROM Stats_Cursor)") &&
                    full.next());
            QCOMPARE(full.value(0).toInt(), 0);
        }
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase("refused");
    }

    void roundsRateBothSides()
    {
        Standings standings;
        RoundEvent round{9, "CT", {{1, "CT"}, {2, "TERRORIST"}, {4, "Spectator"}}};
        standings.apply(round, GameInfo{});
        QCOMPARE(standings.totals({QString(), 1}).rounds, 1);
        QCOMPARE(standings.totals({QString(), 2}).rounds, 1);
        QVERIFY(!standings.hasTotals({QString(), 4}));
        QVERIFY(standings.totals({QString(), 1}).skill.mu > 25);
        QVERIFY(standings.totals({QString(), 2}).skill.mu < 25);
    }
};

VARNOCK_TEST_MAIN(TestStatsRating)
#include "tst_stats_rating.moc"
