#include "TestFiles.h"
#include "TestMain.h"

#include "platform/ClassRegistry.h"

#include <QLibraryInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// varnock_udp --regserver, run as the operator runs it.
class TestRegServer : public QObject
{
    Q_OBJECT

private slots:
    void registersAComponentLibrary()
    {
        const Run run = regserver(QStringLiteral(RECORDING_COMPONENT_PATH));
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.contains("Ledgerwell.Score_Class"), run.out.constData());
        const ClassRegistry registry;
        QCOMPARE(registry.readDefault(QStringLiteral("Ledgerwell.Score_Class\\Clsid")),
                 std::optional<QString>(QStringLiteral("{6D1C7A52-0E55-4B7B-9E43-5A1D2C3B4F10}")));
        QCOMPARE(registry.readDefault(QStringLiteral(
                     "Clsid\\{6D1C7A52-0E55-4B7B-9E43-5A1D2C3B4F10}\\InprocServer32")),
                 std::optional<QString>(
                     QFileInfo(QStringLiteral(RECORDING_COMPONENT_PATH)).absoluteFilePath()));
    }

    void refusesFilesThatAreNoComponent_data()
    {
        QTest::addColumn<QString>("content"); // null: no file; "<Qt>": Qt's own library
        QTest::addColumn<QString>("reason");
        addRow("text file", "not a library", "not a loadable library");
        addRow("missing file", QString(), "does not exist");
        addRow("a library without the entry points", "<Qt>", "is not a scoring component library");
    }
    void refusesFilesThatAreNoComponent()
    {
        QFETCH(QString, content);
        QFETCH(QString, reason);
        QFile::remove(ClassRegistry::userFilePath());
        QTemporaryDir dir;
        QString path = dir.filePath(QStringLiteral("Ledgerwell.so"));
        if (content == QLatin1String("<Qt>"))
            path = QLibraryInfo::path(QLibraryInfo::LibrariesPath) + "/libQt6Core.so.6";
        else if (!content.isNull())
            QVERIFY(writeFile(path, content.toUtf8()));
        const Run run = regserver(path);
        QVERIFY(run.exitCode != 0);
        QVERIFY2(run.err.contains(reason.toUtf8()), run.err.constData());
        QVERIFY(!QFile::exists(ClassRegistry::userFilePath()));
    }

private:
    struct Run
    {
        int exitCode;
        QByteArray out;
        QByteArray err;
    };

    static Run regserver(const QString &path)
    {
        QProcess process;
        process.start(QStringLiteral(VARNOCK_EXECUTABLE), {QStringLiteral("--regserver"), path});
        if (!process.waitForFinished(30000))
            return {-1, {}, "did not finish"};
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                process.readAllStandardOutput(), process.readAllStandardError()};
    }
};

VARNOCK_TEST_MAIN(TestRegServer)
#include "tst_regserver.moc"
