#include "TestMain.h"

#include "SkillRating.h"
#include "Standings.h"

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
                                        row("attack", 1, 2, 45, 0, 30), row("suicide", 2, 2, 50, 5),
                                        row("assist", 2, 1, 900, 0), row("kill", 1, 1, 60, 5)}) {
            const qint64 gameRecord = standings.gameOf(event);
            standings.apply(event, gameRecord ? game : GameInfo{}, gameRecord);
        }
        for (const QString &scope : game.scopes) {
            const Totals one = standings.totals().value({scope, 1});
            const Totals two = standings.totals().value({scope, 2});
            QCOMPARE(one.kills, 3);
            QCOMPARE(one.headshots, 1);
            QCOMPARE(one.deaths, 1);  // killed by himself: a shared placeholder id
            QCOMPARE(one.damage, 30); // an attack counts in the game of his last kill
            QCOMPARE(two.deaths, 3);
            QCOMPARE(two.suicides, 1);
            QCOMPARE(two.assists, 1);
            // 10 -> 40 -> 45, then 900 after a gap over five minutes, then 60: before it
            QCOMPARE(one.seconds, 35);
            QCOMPARE(two.seconds, 40); // 10 -> 40 -> 45 -> 50, then the gap
            QVERIFY(one.skill.mu > two.skill.mu);
        }
        QCOMPARE(standings.weapons().value({0, 7}).kills, 3);
        QCOMPARE(standings.weapons().value({2, 7}).deaths, 2);
    }

    void roundsRateOnlyPlayersOnOneSide()
    {
        Standings standings;
        RoundEvent round{9, "CT", {}};
        round.teams[1] = {"CT"};
        round.teams[2] = {"TERRORIST", "Unassigned"};
        round.teams[3] = {"CT", "TERRORIST"}; // changed sides at half time
        round.teams[4] = {"Spectator"};
        standings.apply(round, GameInfo{});
        QCOMPARE(standings.totals().value({QString(), 1}).rounds, 1);
        QCOMPARE(standings.totals().value({QString(), 3}).rounds, 1);
        QVERIFY(!standings.totals().contains({QString(), 4}));
        QVERIFY(standings.totals().value({QString(), 1}).skill.mu > 25);
        QVERIFY(standings.totals().value({QString(), 2}).skill.mu < 25);
        QCOMPARE(standings.totals().value({QString(), 3}).skill.mu, 25.0);
    }
};

VARNOCK_TEST_MAIN(TestStatsRating)
#include "tst_stats_rating.moc"
