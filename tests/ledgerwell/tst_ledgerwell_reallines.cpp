#include "LedgerwellHarness.h"
#include "LogLines.h"
#include "TestMain.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The first line of a corpus file that the pattern matches, and its index (-1: none).
qsizetype findLine(const QList<QByteArray> &lines, const QRegularExpression &pattern,
                   QRegularExpressionMatch &match)
{
    for (qsizetype i = 0; i < lines.size(); ++i) {
        match = pattern.match(QString::fromUtf8(lines.at(i)));
        if (match.hasMatch())
            return i;
    }
    return -1;
}

// The line cut off in the middle of its last quoted value, as a server cuts a line too long
// for it.
QByteArray cutOff(const QByteArray &line)
{
    const qsizetype close = line.lastIndexOf('"');
    const qsizetype open = line.lastIndexOf('"', close - 1);
    return line.left(open + 1 + (close - open) / 2);
}

// `\1` ... in the text replaced by the pattern's captures.
QString withCaptures(QString text, const QRegularExpressionMatch &match)
{
    for (int group = match.lastCapturedIndex(); group >= 1; --group)
        text.replace("\\" + QString::number(group), match.captured(group));
    return text;
}

} // namespace

// Lines that real servers wrote (the corpus of tests/data/reallogs, see its SOURCES), one at a
// time through the program's intake and the real Ledgerwell.so: what each stores.
class TestLedgerwellRealLines : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // file: in the corpus; pattern: picks the file's first line it matches; glued: that line
    // comes right after the line before it, cut off (no line break between them); query:
    // what is stored; expected: its rows joined by "|" and ";", \1 ... the pattern's captures.
    void storesWhatTheLineSays_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("glued");
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("expected");
        const QString typeScore =
            "SELECT t.Type, p.Player, s.Score FROM Scores s JOIN Types t ON t.Record = s.Type "
            "JOIN Players p ON p.Record = s.Killer";
        QTest::newRow("a medic's death scores no healing")
            << "tf2/icewind1991-log_hl.log"
            << "\"[^\"]*<\\d+><(\\[U:1:\\d+\\])><\\w+>\" triggered \"medic_death\" against "
               ".*\\(healing \"[1-9]"
            << false << typeScore << "medic_death|\\1|0";
        QTest::newRow("a heal scores its healing")
            << "tf2/icewind1991-log_hl.log"
            << "\"[^\"]*<\\d+><(\\[U:1:\\d+\\])><\\w+>\" triggered \"healed\" against .*\\(healing "
               "\"(\\d+)\"\\)"
            << false << typeScore << "healed|\\1|\\2";
        QTest::newRow("a medkit picked up") << "tf2/icewind1991-log_hl.log"
                                            << "\"[^\"]*<\\d+><(\\[U:1:\\d+\\])><\\w+>\" picked up "
                                               "item \"(medkit_\\w+)\" \\(healing \"(\\d+)\"\\)"
                                            << false << typeScore << "picked up \\2|\\1|\\3";
        QTest::newRow("killed by the bomb")
            << "csgo/vlf1991-kotnq1flog.log"
            << "\"[^\"]*<\\d+><(STEAM_[0-9:]+)><\\w+>\" \\[([-\\d ]+)\\] was killed by the bomb\\."
            << false
            << "SELECT t.Type, s.Killer, p.Player, w.Weapon, s.Score, k.Victim_Position FROM "
               "Scores s JOIN Types t ON t.Record = s.Type JOIN Players p ON p.Record = "
               "s.Victim JOIN Weapons w ON w.Record = s.Weapon JOIN Ledgerwell_Kills k ON "
               "k.Score = s.Record"
            << "kill|0|\\1|bomb|0|\\2";
        // The line is read as the second one; the cut-off first leaves nothing: no player
        // named after it, no name property holding it.
        const QString glued =
            "SELECT p.Player, (SELECT COUNT(*) FROM Players WHERE Player LIKE '%: \"%'), "
            "(SELECT COUNT(*) FROM Cvars WHERE Val LIKE '%: \"%') FROM Scores s JOIN Types t ON "
            "t.Record = s.Type AND t.Type = 'kill' JOIN Players p ON p.Record = s.Killer";
        QTest::newRow("a cut-off line before a bot's kill")
            << "csgo/janstuemmel-example.log"
            << "^L [^\"]*\"(\\w+)<\\d+><BOT><\\w+>\" \\[[-\\d ]+\\] killed \"[^\"]*<\\d+><BOT>"
            << true << glued << "\\1|0|0";
        QTest::newRow("a cut-off line before a player's kill")
            << "tf2/icewind1991-log_2892242.log"
            << "^L [^\"]*\"[^\"]*<\\d+><(\\[U:1:\\d+\\])><\\w+>\" killed .*\\(attacker_position"
            << true << glued << "\\1|0|0";
    }
    void storesWhatTheLineSays()
    {
        QFETCH(QString, file);
        QFETCH(QString, pattern);
        QFETCH(bool, glued);
        QFETCH(QString, query);
        QFETCH(QString, expected);
        const QList<QByteArray> lines = logLines(QStringLiteral(REALLOGS_CORPUS "/") + file);
        QRegularExpressionMatch match;
        const qsizetype at = findLine(lines, QRegularExpression(pattern), match);
        QVERIFY2(at >= 1, qPrintable("no line of " + file + " matches " + pattern));
        QByteArray line = lines.at(at);
        if (glued)
            line.prepend(cutOff(lines.at(at - 1)));

        TEST_DATABASE(db, Engine::Sqlite, m_dir.path());
        ONE_CONNECTION(program, port, *db, m_dir.filePath("lines.log"));
        QVERIFY(GameServer().sendCommitted(Framed::source(line), port));
        QStringList rows;
        for (const QStringList &row : db->rows(query))
            rows << row.join('|');
        QCOMPARE(rows.join(';'), withCaptures(expected, match));
    }

private:
    QTemporaryDir m_dir;
};

VARNOCK_TEST_MAIN(TestLedgerwellRealLines)
#include "tst_ledgerwell_reallines.moc"
