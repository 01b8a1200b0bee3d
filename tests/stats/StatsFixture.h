#pragma once

#include "Framed.h"
#include "LogLines.h"
#include "ProgramProcess.h"
#include "ReceiverProcess.h"
#include "ReplayHarness.h"

#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QThread>
#include <QTimer>
#include <QUdpSocket>

// A TCP port nobody holds right now, for a child process to listen on.
inline quint16 freeTcpPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// The lines of a real server's log, as the server sends them, with lines of our own put in
// the middle of its game at the time of the line they follow.
inline QList<QByteArray> replayLines(const QString &path, const QList<QByteArray> &inserted)
{
    QList<QByteArray> lines = logLines(path);
    const qsizetype middle = lines.size() / 2;
    const QByteArray stamp = lines.value(middle).left(25); // "L MM/DD/YYYY - hh:mm:ss: "
    for (qsizetype i = 0; i < inserted.size(); ++i)
        lines.insert(middle + 1 + i, stamp + inserted.at(i));
    return lines;
}

// The Logs rows the program has stored: one per line it took. -1 when they cannot be counted.
inline qint64 logRows(const QSqlDatabase &db)
{
    return storedNumber(db, QStringLiteral("SELECT COUNT(*) FROM Logs"));
}

// Source-framed lines to the program's port, at a pace it takes without loss.
inline void sendLines(const QList<QByteArray> &lines, quint16 port)
{
    QList<QByteArray> datagrams;
    for (const QByteArray &line : lines)
        datagrams << Framed::source(line);
    sendInterleaved({datagrams}, {port});
}

// Rows of a case run on each engine.
inline void engineRows()
{
    QTest::addColumn<QString>("engine");
    QTest::newRow("sqlite") << "sqlite";
    QTest::newRow("postgres") << "postgres";
}

// The engine the current row's tag starts with, of a map by engine name; the row is skipped
// when that engine was not set up.
#define CURRENT_ENGINE(name, engines)                                                              \
    const auto engineAt =                                                                          \
        (engines).find(QString::fromLatin1(QTest::currentDataTag()).section(' ', 0, 0));           \
    if (engineAt == (engines).end())                                                               \
        QSKIP("No PostgreSQL test server (VARNOCK_TEST_PG_* unset); scripts/test starts one");     \
    auto &name = engineAt->second

struct HttpAnswer
{
    int status = 0;
    QByteArray contentType;
    QByteArray policy;
    QByteArray body;

    QJsonValue json() const
    {
        const QJsonDocument document = QJsonDocument::fromJson(body);
        return document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
    }
};

// One GET, waited for.
inline HttpAnswer httpGet(const QString &url, const QByteArray &method = "GET")
{
    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(url)};
    QNetworkReply *reply = manager.sendCustomRequest(request, method);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    loop.exec();
    HttpAnswer answer;
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.contentType = reply->rawHeader("Content-Type");
    answer.policy = reply->rawHeader("Content-Security-Policy");
    answer.body = reply->readAll();
    reply->deleteLater();
    return answer;
}

// varnock_stats in a child process on a port of its own.
class StatsProcess
{
public:
    explicit StatsProcess(const QStringList &databases)
        : m_port(freeTcpPort())
    {
        QStringList arguments{QStringLiteral("--listen"),
                              QStringLiteral("127.0.0.1:%1").arg(m_port)};
        for (const QString &database : databases)
            arguments << QStringLiteral("--database") << database;
        m_process.start(QStringLiteral(STATS_EXECUTABLE), arguments);
    }
    ~StatsProcess()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(10000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }

    // Waits until it serves and every database's standings are stored.
    bool waitCaughtUp()
    {
        return QTest::qWaitFor(
            [&] {
                const QJsonArray databases = get("/api/databases").json().toArray();
                if (databases.isEmpty())
                    return false;
                for (const QJsonValue &db : databases) {
                    if (!db.toObject().value("caught_up").toBool())
                        return false;
                }
                return true;
            },
            60000);
    }
    HttpAnswer get(const QString &pathAndQuery) const { return httpGet(url() + pathAndQuery); }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }
    QString errors() { return QString::fromUtf8(m_process.readAllStandardError()); }

private:
    quint16 m_port;
    QProcess m_process;
};
