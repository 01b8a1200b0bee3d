// Connection strings: the shared reader on any bytes, and the program's and Ledgerwell's
// readings of one string, which must agree wherever Ledgerwell takes the string at all.
#include "ConnectionSettings.h"
#include "connectionstring/ConnectionElements.h"
#include "platform/ConnectionString.h"

#include <cstdio>
#include <cstdlib>

namespace {

void fail(const char *what, const QString &text)
{
    std::fprintf(stderr, "%s in \"%s\"\n", what, text.toUtf8().constData());
    std::abort();
}

// A key is what stands between two separators, never empty, and without white space at its
// ends as the program's QString sees it, whatever bytes surround it.
void checkElements(std::string_view bytes)
{
    const auto read = connectionstring::ConnectionElements::parse(bytes);
    for (const connectionstring::Element &element : read.elements()) {
        const std::string_view key = element.key;
        if (key.empty() || key.find_first_of("=;") != std::string_view::npos)
            std::abort();
        const QString text = QString::fromUtf8(key.data(), qsizetype(key.size()));
        if (text.trimmed() != text)
            fail("key not trimmed", text);
    }
}

bool sameProvider(const QString &provider, std::initializer_list<const char *> names)
{
    for (const char *name : names) {
        if (provider.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QString text(const std::string &utf8)
{
    return QString::fromStdString(utf8);
}

// The program hands Ledgerwell its string as UTF-8 (the scoring interface), so both read the
// same text here.
void checkAgreement(const QString &connString)
{
    const ConnectionString program = ConnectionString::parse(connString);
    std::string error;
    const auto settings = ledgerwell::parseConnectionString(connString.toStdString(), error);
    if (!settings)
        return;
    const QString provider = program.value(QStringLiteral("Provider"));
    const QString source = program.value(QStringLiteral("Data Source"));
    if (settings->engine == ledgerwell::ConnectionSettings::Engine::Sqlite) {
        if (!sameProvider(provider,
                          {"Microsoft.Jet.OLEDB.3.51", "Microsoft.Jet.OLEDB.4.0", "SQLite"}))
            fail("provider read apart", connString);
        if (text(settings->file) != source)
            fail("database file read apart", connString);
        return;
    }
    if (!sameProvider(provider, {"PostgreSQL"}))
        fail("provider read apart", connString);
    if (!source.contains(text(settings->host)))
        fail("server read apart", connString);
    if (text(settings->database) != program.value(QStringLiteral("Initial Catalog")))
        fail("database read apart", connString);
    if (text(settings->user) != program.value(QStringLiteral("User ID")))
        fail("user read apart", connString);
    if (text(settings->password) !=
        program.valueOf({QStringLiteral("User Password"), QStringLiteral("Password")}))
        fail("password read apart", connString);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    checkElements(bytes);
    checkAgreement(QString::fromUtf8(bytes.data(), qsizetype(bytes.size())));
    return 0;
}
