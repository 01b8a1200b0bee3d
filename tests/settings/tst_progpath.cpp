#include "TestMain.h"

#include "settings/ProgPathModule.h"

#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

// The program folder from the scoring component's registration, through the real class
// registry file.
class TestProgPath : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Registrations of this machine must not leak in through the system-wide file.
        QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, m_system.path());
    }

    void locatesTheProgramFolder_data()
    {
        QTest::addColumn<QString>("classId"); // null: ProgID not registered
        QTest::addColumn<QString>("library"); // null: class not registered
        QTest::addColumn<QString>("appPath"); // null: the default folder; "!": a failure
        // A class id of its own per row, so no row finds another row's library.
        int rows = 0;
        const auto id = [&rows] {
            return QStringLiteral("{6D1C7A52-0E55-4B7B-9E43-5A1D2C3B%1}")
                .arg(rows++, 4, 10, QLatin1Char('0'));
        };
        addRow("registered path", id(), "/apps/stats/Ledgerwell.so", "/apps/stats");
        addRow("other letter case", id(), "/Apps/Stats/LEDGERWELL.SO", "/Apps/Stats");
        addRow("short form name", id(), "/apps/LEDGER~1.SO", QString());
        addRow("folder named like the library", id(), "/x/Ledgerwell.so.old/Ledgerwell.so", "/x");
        addRow("no registration", QString(), QString(), QString());
        addRow("class without library", id(), QString(), QString());
        const QString folder254 = "/" + QString(254 - 15, QLatin1Char('d'));
        addRow("254-character path", id(), folder254 + "/Ledgerwell.so", folder254);
        addRow("255-character path", id(), folder254 + "d/Ledgerwell.so", QString());
        addRow("the name alone", id(), "Ledgerwell.so", "!");
        addRow("the name alone, in capitals", id(), "LEDGERWELL.SO", "!");
        addRow("the name first in a longer text", id(), "Ledgerwell.so.1", "!");
        addRow("255-character class id", "{" + QString(253, QLatin1Char('0')) + "}",
               "/apps/stats/Ledgerwell.so", QString());
    }
    void locatesTheProgramFolder()
    {
        QFETCH(QString, classId);
        QFETCH(QString, library);
        QFETCH(QString, appPath);
        MainModule state;
        state.ScoreProgId = registerRow(classId, library);
        state.DefaultAppPath = QStringLiteral("/default/Varnock_UDP");

        const Status located = LocateAppPath(state, m_registry);
        if (appPath == QLatin1String("!")) {
            QVERIFY(!located.ok());
            QCOMPARE(located.error().number, 5);
            QVERIFY2(located.error().description.contains(library),
                     qPrintable(located.error().description));
            return;
        }
        QVERIFY(located.ok());
        QCOMPARE(state.AppPath, appPath.isNull() ? state.DefaultAppPath : appPath);
        const bool classIdFits = !classId.isNull() && classId.size() <= 254;
        QCOMPARE(state.ScoreClsid, classIdFits ? classId : QString(254, QLatin1Char(' ')));
    }

    void defaultFolderIsUnderTheDataHome()
    {
        const QString dataHome = QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME"));
        QVERIFY(!QFileInfo::exists(dataHome));
        QCOMPARE(defaultAppPath(), dataHome + QStringLiteral("/Varnock_UDP"));
        // The parent is made for the program; the folder itself is start-up's to make.
        QVERIFY(QFileInfo(dataHome).isDir());
        struct stat info;
        QCOMPARE(::stat(QFile::encodeName(dataHome).constData(), &info), 0);
        QCOMPARE(int(info.st_mode & 0777), 0700);
        QVERIFY(!QFileInfo::exists(dataHome + QStringLiteral("/Varnock_UDP")));
    }

private:
    // Registers under a ProgID of its own per row, so no row sees another's registration;
    // returns the ProgID.
    QString registerRow(const QString &classId, const QString &library)
    {
        const QString progId = QStringLiteral("Row%1.Score_Class").arg(m_row++);
        QSettings file(ClassRegistry::userFilePath(), QSettings::IniFormat);
        if (!classId.isNull())
            file.setValue(progId + QStringLiteral("/Clsid"), classId);
        if (!classId.isNull() && !library.isNull())
            file.setValue(QStringLiteral("Clsid/") + classId + QStringLiteral("/InprocServer32"),
                          library);
        file.sync();
        return progId;
    }

    QTemporaryDir m_system;
    ClassRegistry m_registry;
    int m_row = 0;
};

VARNOCK_TEST_MAIN(TestProgPath)
#include "tst_progpath.moc"
