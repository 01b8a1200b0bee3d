#include "LedgerwellHarness.h"

#include "ScriptedOperator.h"

#include "database/CreateSchema.h"
#include "intake/ComponentLibrary.h"
#include "platform/SqlConnection.h"
#include "state/MainModule.h"
#include "state/TextFunctions.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>
#include <QThread>

namespace {

int connectionCounter = 0;

QString normalised(const QVariant &value)
{
    if (value.isNull())
        return QStringLiteral("NULL");
    switch (value.metaType().id()) {
    case QMetaType::QByteArray:
        return QStringLiteral("x") + QString::fromLatin1(value.toByteArray().toHex());
    case QMetaType::QDateTime:
        return value.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case QMetaType::Double:
    case QMetaType::Float:
        return QString::number(value.toDouble());
    default:
        return value.toString();
    }
}

} // namespace

QList<QByteArray> fixtureLines(const QString &name)
{
    QFile file(QStringLiteral(LEDGERWELL_FIXTURES "/") + name);
    QList<QByteArray> lines;
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (!line.isEmpty())
            lines << line;
    }
    return lines;
}

std::unique_ptr<TestDatabase> TestDatabase::make(Engine engine, const QString &folder,
                                                 const QStringList &without)
{
    std::unique_ptr<TestDatabase> database(new TestDatabase());
    QString error;
    if (engine == Engine::Sqlite) {
        const QString file =
            QDir(folder).filePath(QStringLiteral("statistics_%1.db").arg(++connectionCounter));
        database->m_sqliteConnection = QStringLiteral("ledgerwell_test_%1").arg(connectionCounter);
        database->m_db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), database->m_sqliteConnection);
        database->m_db.setDatabaseName(file);
        database->m_connectionString =
            QStringLiteral("Provider=Microsoft.Jet.OLEDB.3.51;Persist Security Info=False;"
                           "Data Source=") +
            file;
    } else {
        database->m_pg = std::make_unique<PgTestDatabase>();
        if (!database->m_pg->configured()) {
            QTest::qSkip("No PostgreSQL test server (VARNOCK_TEST_PG_* unset); scripts/test "
                         "starts one",
                         __FILE__, __LINE__);
            return nullptr;
        }
        error = database->m_pg->error();
        if (database->m_pg->ready())
            database->m_db = database->m_pg->direct();
        database->m_connectionString = database->m_pg->connString();
    }
    if (error.isEmpty() && !database->m_db.open())
        error = database->m_db.lastError().text();
    // The tables come from the program's own schema creation, as at an activation, so the
    // component is tested against exactly what the program creates.
    if (error.isEmpty()) {
        MainModule state;
        state.ConnStrings[1] = database->m_connectionString;
        ScriptedOperator op;
        const SchemaOutcome schema = CreateSchema(state, 1, op, newSqlConnection);
        if (!schema.status || !op.messages.isEmpty())
            error = schema.status ? op.messages.first().text : schema.status.error().description;
    }
    for (const QString &table : without) {
        if (error.isEmpty())
            database->execute(QStringLiteral("Drop Table ") + table, error);
    }
    if (!error.isEmpty()) {
        QTest::qFail(qPrintable("The test database cannot be made: " + error), __FILE__, __LINE__);
        return nullptr;
    }
    return database;
}

TestDatabase::~TestDatabase()
{
    m_db.close();
    m_db = QSqlDatabase();
    if (!m_sqliteConnection.isEmpty())
        QSqlDatabase::removeDatabase(m_sqliteConnection);
}

bool TestDatabase::execute(const QString &sql, QString &error) const
{
    QSqlQuery query(db());
    if (query.exec(sql))
        return true;
    error = query.lastError().text() + QStringLiteral(" in ") + sql;
    return false;
}

QList<QStringList> TestDatabase::rows(const QString &sql) const
{
    QList<QStringList> result;
    QSqlQuery query(db());
    if (!query.exec(sql)) {
        result << QStringList{QStringLiteral("error: ") + query.lastError().text()};
        return result;
    }
    while (query.next()) {
        QStringList row;
        for (int i = 0; i < query.record().count(); ++i)
            row << normalised(query.value(i));
        result << row;
    }
    return result;
}

QString TestDatabase::value(const QString &sql) const
{
    const QList<QStringList> found = rows(sql);
    return found.isEmpty() || found.first().isEmpty() ? QString() : found.first().first();
}

qint64 TestDatabase::count(const QString &table) const
{
    const QString text = value(QStringLiteral("SELECT COUNT(*) FROM ") + table);
    bool ok = false;
    const qint64 number = text.toLongLong(&ok);
    return ok ? number : -1;
}

QList<qint64> TestDatabase::counts() const
{
    QList<qint64> result;
    for (const QString &table : statisticsTableNames())
        result << count(table);
    return result;
}

ProgramUnderTest::ProgramUnderTest()
    : m_state(std::make_unique<MainModule>())
    , m_factory(std::make_unique<ScoringComponentFactory>())
    , m_intake(std::make_unique<DatagramIntake>(*m_state, *m_factory))
{
    const Result<QString> registered =
        registerComponentLibrary(QStringLiteral(LEDGERWELL_PATH), ClassRegistry());
    if (!registered)
        m_registrationError = registered.error().description;
}

ProgramUnderTest::~ProgramUnderTest()
{
    m_intake.reset(); // releases the last instance before the state goes
    // As the program does at its end: the component's writer threads end here, not during
    // the process's own end, after the libraries they use have cleaned up.
    m_factory->finish();
}

quint16 ProgramUnderTest::addConnection(int n, const QString &connectionString,
                                        const QString &logPath)
{
    m_state->ConnStrings[n] = connectionString;
    if (!m_state->udpPeerB.Load(n).ok())
        return 0;
    for (int attempt = 0; attempt < 20; ++attempt) {
        QUdpSocket probe;
        probe.bind(QHostAddress::AnyIPv4, 0);
        const quint16 candidate = probe.localPort();
        probe.close();
        if (m_state->udpPeerB.element(n)->Bind(candidate).ok()) {
            m_state->ListView1.add({ConnKey(n), QString::number(candidate), connectionString,
                                    QStringLiteral("False"), logPath});
            return candidate;
        }
    }
    return 0;
}

GameServer::GameServer()
{
    m_socket.bind(QHostAddress::LocalHost, 0);
}

bool GameServer::send(const QByteArray &datagram, quint16 port)
{
    // Paced a little, so a burst never outruns the receive buffer of a busy test machine.
    const bool sent =
        m_socket.writeDatagram(datagram, QHostAddress::LocalHost, port) == datagram.size();
    QCoreApplication::processEvents();
    return sent;
}

bool GameServer::sendHl1(const QList<QByteArray> &lines, quint16 port)
{
    bool sent = true;
    for (const QByteArray &line : lines)
        sent = send(Framed::hl1(line), port) && sent;
    return sent;
}

bool GameServer::sendCommitted(const QByteArray &datagram, quint16 port)
{
    const LedgerwellCounterSet before = ledgerwellCounters();
    return send(datagram, port) && waitUntilCommitted(before, 1);
}

LedgerwellCounterSet ledgerwellCounters()
{
    LedgerwellCounterSet set = {};
    QLibrary library(QStringLiteral(LEDGERWELL_PATH));
    if (library.load()) {
        if (const auto read =
                reinterpret_cast<LedgerwellCountersFn>(library.resolve("LedgerwellCounters")))
            read(&set);
    }
    return set; // the library stays loaded; the program's factory holds it too
}

bool waitUntilCommitted(const LedgerwellCounterSet &before, quint64 datagrams, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        const LedgerwellCounterSet now = ledgerwellCounters();
        if (now.datagramsReceived >= before.datagramsReceived + datagrams &&
            now.datagramsPending == 0)
            return true;
        QTest::qWait(10);
    }
    return false;
}

QString readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

QString rawLines(const QString &logPath)
{
    static const QRegularExpression note(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d Ledgerwell: .*\n"),
        QRegularExpression::MultilineOption);
    return readFile(logPath).remove(note);
}
