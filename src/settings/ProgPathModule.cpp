#include "ProgPathModule.h"

#include "FileErrors.h"

#include <QDir>
#include <QStandardPaths>

#include <optional>

namespace {

// A registry read fills a buffer of 254 characters and a terminating zero; a longer value
// does not fit and the read fails.
constexpr qsizetype BufferLength = 254;

std::optional<QString> readKeyDefault(const ClassRegistry &registry, const QString &keyPath)
{
    std::optional<QString> value = registry.readDefault(keyPath);
    if (value && value->size() > BufferLength)
        return std::nullopt;
    return value;
}

// Creates the missing folders of `path` one by one with owner-only access.
void createPrivateFolders(const QString &path)
{
    const QString absolute = QDir::cleanPath(QDir(path).absolutePath());
    QString built;
    for (const QString &part : absolute.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        built += QLatin1Char('/') + part;
        if (!QFileInfo(built).isDir() &&
            !QDir().mkdir(built, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
            return;
    }
}

} // namespace

QString defaultAppPath()
{
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    createPrivateFolders(dataHome);
    return dataHome + QStringLiteral("/Varnock_UDP");
}

Status LocateAppPath(MainModule &state, const ClassRegistry &registry)
{
    // A failed first read leaves the blank class id, under which nothing is registered.
    const std::optional<QString> classId =
        readKeyDefault(registry, state.ScoreProgId + QStringLiteral("\\Clsid"));
    state.ScoreClsid = classId ? *classId : QString(BufferLength, QLatin1Char(' '));
    const std::optional<QString> library =
        classId ? readKeyDefault(registry, QStringLiteral("Clsid\\") + state.ScoreClsid +
                                               QStringLiteral("\\InprocServer32"))
                : std::nullopt;

    const qsizetype found =
        library ? library->indexOf(state.ScoreDll, 0, Qt::CaseInsensitive) : qsizetype(-1);
    if (found < 0) {
        state.AppPath = state.DefaultAppPath;
        return {};
    }
    if (found == 0)
        return ErrorInfo{FileErrorNumber::InvalidArgument,
                         QStringLiteral("Invalid procedure call or argument: the registered "
                                        "library path \"%1\" names no folder")
                             .arg(*library)};
    // The folder is everything before the separator that precedes the name, taken as
    // registered; only the search ignores case.
    state.AppPath = library->left(found - 1);
    return {};
}
