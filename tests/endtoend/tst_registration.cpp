#include "ProgramProcess.h"
#include "StartupFixture.h"
#include "TestMain.h"

#include <QTemporaryDir>
#include <QTest>

using namespace StartupFixture;

// What the set-up script asks the executable before it installs and registers the scoring
// component: which library is registered, and which folder start-up will take from it.
class TestRegistration : public QObject
{
    Q_OBJECT

private slots:
    void answersFromTheRegistration_data()
    {
        QTest::addColumn<QString>("libraryName"); // "" registers nothing
        QTest::addColumn<int>("registeredExit");
        QTest::addColumn<bool>("folderIsTheLibrarys");

        addRow("nothing registered", QString(), 1, false);
        // Only a library named like the program's component gives the program folder.
        addRow("a component of another name", QStringLiteral("Recording.so"), 0, false);
        addRow("the program's component", QStringLiteral("Ledgerwell.so"), 0, true);
    }

    void answersFromTheRegistration()
    {
        QFETCH(QString, libraryName);
        QFETCH(int, registeredExit);
        QFETCH(bool, folderIsTheLibrarys);

        QFile::remove(ClassRegistry::userFilePath());
        QTemporaryDir folder;
        const QString library = folder.filePath(libraryName);
        if (!libraryName.isEmpty()) {
            QVERIFY(QFile::copy(QStringLiteral(RECORDING_COMPONENT_PATH), library));
            QVERIFY(registerComponentLibrary(library, ClassRegistry()).ok());
        }

        ProgramProcess registered({QStringLiteral("--registered")});
        QVERIFY(registered.process().waitForFinished(20000));
        QCOMPARE(registered.process().exitCode(), registeredExit);
        QCOMPARE(registered.out().trimmed(), libraryName.isEmpty() ? QString() : library);
        if (libraryName.isEmpty())
            QVERIFY(registered.err().contains(ClassRegistry::userFilePath()));

        ProgramProcess programFolder({QStringLiteral("--program-folder")});
        QVERIFY(programFolder.process().waitForFinished(20000));
        QCOMPARE(programFolder.process().exitCode(), 0);
        QCOMPARE(programFolder.out().trimmed(), folderIsTheLibrarys ? folder.path() : appPath());
    }
};

VARNOCK_TEST_MAIN(TestRegistration)
#include "tst_registration.moc"
