#include "TestMain.h"

#include "ConnectionSettings.h"
#include "connectionstring/ConnectionElements.h"
#include "connectionstring/KeyCase.h"
#include "platform/ConnectionString.h"

#include <QTest>

namespace {

QString sqlite(const QString &elements)
{
    return QStringLiteral("Provider=SQLite;") + elements;
}

QString postgres(const QString &elements)
{
    return QStringLiteral("Provider=PostgreSQL;Data Source=h;Initial Catalog=s;") + elements;
}

// What the program's providers take from a connection string for one setting.
QString programReading(const QString &text, const QString &setting)
{
    const ConnectionString read = ConnectionString::parse(text);
    if (setting == QLatin1String("file"))
        return read.value(QStringLiteral("Data Source"));
    if (setting == QLatin1String("database"))
        return read.value(QStringLiteral("Initial Catalog"));
    if (setting == QLatin1String("user"))
        return read.value(QStringLiteral("User ID"));
    return read.valueOf({QStringLiteral("User Password"), QStringLiteral("Password")});
}

// What Ledgerwell takes for the same setting, or why it refused the string.
QString componentReading(const QString &text, const QString &setting)
{
    std::string error;
    const auto settings = ledgerwell::parseConnectionString(text.toStdString(), error);
    if (!settings)
        return QStringLiteral("refused: ") + QString::fromStdString(error);
    const std::string &value = setting == QLatin1String("file")       ? settings->file
                               : setting == QLatin1String("database") ? settings->database
                               : setting == QLatin1String("user")     ? settings->user
                                                                      : settings->password;
    return QString::fromStdString(value);
}

QByteArray utf8(char32_t codePoint)
{
    return QString::fromUcs4(&codePoint, 1).toUtf8();
}

bool isSurrogate(char32_t codePoint)
{
    return codePoint >= 0xD800 && codePoint <= 0xDFFF;
}

} // namespace

// The program opens the database it reads in a connection string and hands the same string
// to Ledgerwell with every datagram; the two must find the same database in it.
class TestConnectionString : public QObject
{
    Q_OBJECT

private slots:
    void bothReadTheSame_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("setting"); // file, database, user or password
        QTest::addColumn<QString>("expected");
        // Which characters are blanks and which match a key's letters, the loops below try one
        // by one; these rows hold where blanks and quotes stand and which element wins.
        addRow("Unicode blanks around a key", sqlite("\u00a0Data Source\u202f= /d/a.db"), "file",
               "/d/a.db");
        addRow("no-break space before a quoted value", sqlite("Data Source=\u00a0'/d/a.db'"),
               "file", "/d/a.db");
        addRow("blanks inside quotes stay", sqlite("Data Source=' /d/a.db\u00a0'"), "file",
               " /d/a.db\u00a0");
        addRow("text after the closing quote is ignored",
               sqlite("Data Source='/d/a.db' junk;User ID=u"), "file", "/d/a.db");
        addRow("a quote never closed runs to the end", sqlite("Data Source=\"/d/x.db"), "file",
               "/d/x.db");
        addRow("last of repeated keys, in any case",
               sqlite("Data Source=/d/a.db;DATA SOURCE=/d/b.db"), "file", "/d/b.db");
        addRow("element without =", sqlite("junk;Data Source=/d/a.db"), "file", "/d/a.db");
        addRow("an empty key's quoted value is skipped whole",
               sqlite("Data Source=/d/a.db;='x;Data Source=/d/wrong.db'"), "file", "/d/a.db");
        addRow("database trimmed", postgres("Initial Catalog = stats\u00a0"), "database", "stats");
        addRow("other quote inside a quoted value", postgres("User ID=\"o'neil\""), "user",
               "o'neil");
        addRow("doubled quote", postgres("User Password='it''s'"), "password", "it's");
        addRow("User Password before Password", postgres("Password=b;User Password=a"), "password",
               "a");
    }
    void bothReadTheSame()
    {
        QFETCH(QString, text);
        QFETCH(QString, setting);
        QFETCH(QString, expected);
        QCOMPARE(programReading(text, setting), expected);
        QCOMPARE(componentReading(text, setting), expected);
    }

    // Every character around a value is trimmed exactly when QString::trimmed, the program's
    // own idea of white space, would trim it.
    void blanksAreTheProgramsWhiteSpace()
    {
        for (char32_t c = 0; c <= 0x10FFFF; ++c) {
            if (isSurrogate(c) || c == ';' || c == '"' || c == '\'')
                continue;
            const QByteArray around = utf8(c) + 'x' + utf8(c);
            const auto read =
                connectionstring::ConnectionElements::parse(("K=" + around).toStdString());
            const std::string_view value = read.value("K");
            const QByteArray expected = QString::fromUtf8(around).trimmed().toUtf8();
            if (QByteArray(value.data(), qsizetype(value.size())) != expected)
                QFAIL(qPrintable(QStringLiteral("U+%1").arg(uint(c), 4, 16, QLatin1Char('0'))));
        }
    }

    // Keys are the ASCII names the providers ask for; a character names one of their letters
    // exactly when QString's case-insensitive comparison says so.
    void keysMatchAsTheProgramComparesThem()
    {
        for (char32_t c = 0; c <= 0x10FFFF; ++c) {
            if (isSurrogate(c))
                continue;
            const QByteArray key = utf8(c);
            for (char letter = 'A'; letter <= 'Z'; ++letter) {
                const bool same = QChar::toCaseFolded(c) == QChar::toCaseFolded(char32_t(letter));
                if (connectionstring::sameName(key.toStdString(), std::string(1, letter)) != same)
                    QFAIL(qPrintable(QStringLiteral("U+%1 and %2")
                                         .arg(uint(c), 4, 16, QLatin1Char('0'))
                                         .arg(QLatin1Char(letter))));
            }
        }
    }

    // Ledgerwell is handed bytes that need not be UTF-8: they are never blanks, and a blank
    // next to them is still one, as in the program, which reads them as replacement characters.
    void malformedUtf8_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("value");
        addRow("lone lead byte before a no-break space", QByteArray("K=\xC2\xC2\xA0"),
               QByteArray("\xC2"));
        addRow("no-break space cut short", QByteArray("K=\xC2\xA0x\xC2"), QByteArray("x\xC2"));
        addRow("continuation byte alone", QByteArray("K=\xA0x\xA0"), QByteArray("\xA0x\xA0"));
        addRow("overlong spaces", QByteArray("K=\xC0\xA0x\xE0\x80\xA0"),
               QByteArray("\xC0\xA0x\xE0\x80\xA0"));
        addRow("stray continuation before an ideographic space", QByteArray("K=x\x80\xE3\x80\x80"),
               QByteArray("x\x80"));
        addRow("four-byte lead before an em space",
               QByteArray("K=\xF0\xE2\x80\x83x\xF0\xE2\x80\x83"),
               QByteArray("\xF0\xE2\x80\x83x\xF0"));
    }
    void malformedUtf8()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, value);
        const auto read = connectionstring::ConnectionElements::parse(text.toStdString());
        const std::string_view found = read.value("K");
        QCOMPARE(QByteArray(found.data(), qsizetype(found.size())), value);
        QCOMPARE(QString::fromUtf8(value), QString::fromUtf8(text.mid(2)).trimmed());
    }
};

VARNOCK_TEST_MAIN(TestConnectionString)
#include "tst_connectionstring.moc"
