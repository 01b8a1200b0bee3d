#include "StatsFixture.h"
#include "TestMain.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

constexpr int MostLinks = 300;
constexpr int PagesPerPath = 3; // of /player, /game ...: the rest are only checked to answer

// Same-site links of a page, as a browser reads them (entities decoded).
QStringList links(const QByteArray &html)
{
    static const QRegularExpression attribute(QStringLiteral("(?:href|src)=\"([^\"]*)\""));
    QStringList found;
    for (const QRegularExpressionMatch &match : attribute.globalMatch(QString::fromUtf8(html))) {
        QString link = match.captured(1);
        link.replace(QLatin1String("&amp;"), QLatin1String("&"))
            .replace(QLatin1String("&#39;"), QLatin1String("'"))
            .replace(QLatin1String("&quot;"), QLatin1String("\""));
        if (link.startsWith(QLatin1Char('/')) && !link.startsWith(QLatin1String("//")))
            found << link;
    }
    return found;
}

} // namespace

// Every page of varnock_stats over a real replayed log, opened in headless Chromium: no
// link leads nowhere and the browser reports nothing on its console (a blocked style or
// script would be reported there).
class TestStatsBrowser : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
        if (m_chromium.isEmpty())
            QSKIP("chromium is not installed (scripts/setup installs it); browser test skipped");
        const Browser probe = open(QStringLiteral("about:blank"));
        if (!probe.started)
            QSKIP(qPrintable("chromium cannot start here; browser test skipped: " + probe.console));

        Receiver receiver(m_dir.filePath("receiver"), QStringLiteral(LEDGERWELL_PATH));
        const QString file = m_dir.filePath("stats.db");
        QFile empty(file);
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        const QString connection = "Provider=SQLite;Data Source=" + file;
        QVERIFY2(receiver.start({connection}), qPrintable(receiver.errors()));
        sendLines(replayLines(QStringLiteral(REALLOGS_CORPUS "/csgo/janstuemmel-example.log"), {}),
                  receiver.ports().first());
        QVERIFY(receiver.stop());
        m_stats = std::make_unique<StatsProcess>(QStringList{connection});
        QVERIFY2(m_stats->waitCaughtUp(), qPrintable(m_stats->errors()));
    }

    void noLinkIsBroken()
    {
        QStringList queue{QStringLiteral("/")};
        QSet<QString> seen{QStringLiteral("/")};
        QHash<QString, int> expanded;
        QStringList broken;
        for (qsizetype i = 0; i < queue.size(); ++i) {
            const QString link = queue.at(i);
            const HttpAnswer answer = m_stats->get(link);
            if (answer.status != 200) {
                broken << QStringLiteral("%1 (%2)").arg(link).arg(answer.status);
                continue;
            }
            const QString path = link.section(QLatin1Char('?'), 0, 0);
            if (!answer.contentType.startsWith("text/html") || ++expanded[path] > PagesPerPath)
                continue;
            m_pages.insert(path, link);
            for (const QString &next : links(answer.body)) {
                if (!seen.contains(next) && seen.size() < MostLinks) {
                    seen.insert(next);
                    queue << next;
                }
            }
        }
        QVERIFY2(broken.isEmpty(), qPrintable(broken.join('\n')));
        for (const char *path : {"/", "/player", "/game", "/weapons", "/maps", "/servers", "/games",
                                 "/live", "/awards", "/compare"})
            QVERIFY2(m_pages.contains(path), path);
    }

    void pagesOpenWithoutConsoleErrors()
    {
        QVERIFY(!m_pages.isEmpty());
        for (auto it = m_pages.cbegin(); it != m_pages.cend(); ++it) {
            const Browser page = open(m_stats->url() + it.value());
            QVERIFY2(page.started, qPrintable(it.value()));
            QVERIFY2(page.dom.contains("</main>"), qPrintable(it.value()));
            QVERIFY2(!page.console.contains("CONSOLE") && !page.console.contains("Refused"),
                     qPrintable(it.value() + ": " + page.console));
        }
    }

private:
    struct Browser
    {
        bool started = false;
        QString dom;
        QString console; // what the page wrote on the browser's console
    };

    Browser open(const QString &url)
    {
        QTemporaryDir profile;
        QProcess chromium;
        chromium.start(m_chromium, {"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                                    "--user-data-dir=" + profile.path(), "--enable-logging=stderr",
                                    "--v=0", "--virtual-time-budget=3000", "--dump-dom", url});
        Browser result;
        if (!chromium.waitForFinished(90000)) {
            chromium.kill();
            chromium.waitForFinished();
            result.console = "no answer within 90 s";
            return result;
        }
        result.started = chromium.exitStatus() == QProcess::NormalExit && chromium.exitCode() == 0;
        result.dom = QString::fromUtf8(chromium.readAllStandardOutput());
        const QStringList lines = QString::fromUtf8(chromium.readAllStandardError()).split('\n');
        for (const QString &line : lines) {
            if (line.contains("CONSOLE") || line.contains("Refused") || !result.started)
                result.console += line + '\n';
        }
        return result;
    }

    QTemporaryDir m_dir;
    QString m_chromium;
    std::unique_ptr<StatsProcess> m_stats;
    QMap<QString, QString> m_pages; // path -> a link to it
};

VARNOCK_TEST_MAIN(TestStatsBrowser)
#include "tst_stats_browser.moc"
