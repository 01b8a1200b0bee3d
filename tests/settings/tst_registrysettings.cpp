#include "ScratchMount.h"
#include "TestFiles.h"
#include "TestMain.h"

#include "settings/RegistrySettings.h"

#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString Blanks254 = QStringLiteral(" ").repeated(254);

QString storeFile(const QString &configHome, const QString &appKey)
{
    return configHome + QStringLiteral("/Halvemark/") + appKey + QStringLiteral(".ini");
}

} // namespace

class TestRegistrySettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_canMount = enterPrivateMountNamespace();
        m_configHome = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        QVERIFY(m_configHome.startsWith(QDir::tempPath()));
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("saved");          // null: nothing saved
        QTest::addColumn<QByteArray>("handWritten"); // null: no file written by hand
        QTest::addColumn<QString>("read");
        addRow("missing value", QString(), QByteArray(), Blanks254);
        addRow("number", "4800", QByteArray(), "4800");
        addRow("empty text", "", QByteArray(), "");
        addRow("non-ASCII", "Größe", QByteArray(), "Größe");
        addRow("254 characters", QString(254, 'x'), QByteArray(), QString(254, 'x'));
        addRow("255 characters", QString(255, 'x'), QByteArray(), Blanks254);
        addRow("hand-written 300 characters", QString(),
               "[General]\nColumn(2)Width=" + QByteArray(300, '7') + "\n", Blanks254);
        addRow("hand-written list", QString(), QByteArray("[General]\nColumn(2)Width=1, 2\n"),
               Blanks254);
    }
    void roundTrip()
    {
        QFETCH(QString, saved);
        QFETCH(QByteArray, handWritten);
        QFETCH(QString, read);
        // A store of its own per row, so nothing is left from an earlier row.
        const QString appKey = QStringLiteral("RoundTrip_") + QString::number(m_row++);
        if (!handWritten.isNull())
            QVERIFY(writeFile(storeFile(m_configHome, appKey), handWritten));
        if (!saved.isNull())
            SaveRegValue(appKey, QStringLiteral("Column(2)Width"), saved);
        QCOMPARE(ReadRegValue(appKey, QStringLiteral("Column(2)Width")), read);
        QCOMPARE(ReadRegValue(appKey, QStringLiteral("Column(3)Width")), Blanks254);
    }

    // A store whose folder cannot be written reads "no value" everywhere and keeps nothing,
    // not even for the rest of the run.
    void unusableStore()
    {
        QTemporaryDir dir;
        const QString halvemark = dir.filePath(QStringLiteral("Halvemark"));
        const QString appKey = QStringLiteral("Unusable");
        std::optional<ScratchMount> mount;
        if (m_canMount) {
            mount.emplace(halvemark, 1 << 20);
            QVERIFY2(mount->mounted(), qPrintable(mount->error()));
            QVERIFY(writeFile(storeFile(dir.path(), appKey), "[General]\nWindowTop=4800\n"));
            QVERIFY(mount->makeReadOnly());
        } else if (::geteuid() != 0) {
            QVERIFY(writeFile(storeFile(dir.path(), appKey), "[General]\nWindowTop=4800\n"));
            QVERIFY(QFile::setPermissions(halvemark, QFile::ReadOwner | QFile::ExeOwner));
        } else {
            QSKIP("root ignores folder permissions and cannot mount here");
        }
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
        SaveRegValue(appKey, QStringLiteral("WindowLeft"), QStringLiteral("1200"));
        const QString top = ReadRegValue(appKey, QStringLiteral("WindowTop"));
        const QString left = ReadRegValue(appKey, QStringLiteral("WindowLeft"));
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_configHome);
        QFile::setPermissions(halvemark, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(top, Blanks254);
        QCOMPARE(left, Blanks254);
    }

private:
    bool m_canMount = false;
    QString m_configHome;
    int m_row = 0;
};

VARNOCK_TEST_MAIN(TestRegistrySettings)
#include "tst_registrysettings.moc"
