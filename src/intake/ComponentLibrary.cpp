#include "ComponentLibrary.h"

#include <QFileInfo>
#include <QLibrary>

namespace {

constexpr qint32 ModuleNotFound = -2147024770; // 0x8007007E
constexpr qint32 NotAComponent = -2147024885;  // 0x8007000B, bad format

} // namespace

Result<ComponentLibrary> openComponentLibrary(const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (!QFileInfo(absolute).isFile())
        return ErrorInfo{ModuleNotFound,
                         QStringLiteral("The file %1 does not exist").arg(absolute)};

    QLibrary library(absolute);
    if (!library.load())
        return ErrorInfo{NotAComponent, QStringLiteral("%1 is not a loadable library: %2")
                                            .arg(absolute, library.errorString())};

    const auto progIdFn =
        reinterpret_cast<ScoringComponentProgIdFn>(library.resolve("ScoringComponentProgId"));
    const auto classIdFn =
        reinterpret_cast<ScoringComponentClassIdFn>(library.resolve("ScoringComponentClassId"));
    const auto createFn =
        reinterpret_cast<ScoringComponentCreateFn>(library.resolve("ScoringComponentCreate"));
    if (!progIdFn || !classIdFn || !createFn) {
        library.unload();
        return ErrorInfo{NotAComponent,
                         QStringLiteral("%1 is not a scoring component library (it does not export "
                                        "ScoringComponentProgId, ScoringComponentClassId and "
                                        "ScoringComponentCreate)")
                             .arg(absolute)};
    }
    const char *progId = progIdFn();
    const char *classId = classIdFn();
    if (!progId || !*progId || !classId || !*classId) {
        library.unload();
        return ErrorInfo{NotAComponent,
                         QStringLiteral("%1 names no ProgID or class id").arg(absolute)};
    }
    // The QLibrary object goes; the library itself stays loaded, as components do.
    const auto finishFn =
        reinterpret_cast<ScoringComponentFinishFn>(library.resolve("ScoringComponentFinish"));
    const auto figuresFn =
        reinterpret_cast<ScoringComponentFiguresFn>(library.resolve("ScoringComponentFigures"));
    return ComponentLibrary{absolute,
                            QString::fromUtf8(progId),
                            QString::fromUtf8(classId),
                            QByteArray(classId),
                            createFn,
                            finishFn,
                            figuresFn};
}

Result<QString> registerComponentLibrary(const QString &path, const ClassRegistry &registry)
{
    const Result<ComponentLibrary> library = openComponentLibrary(path);
    if (!library)
        return library.error();
    const Status written = registry.registerClass(library->progId, library->classId, library->path);
    if (!written)
        return written.error();
    return QStringLiteral("Registered %1 %2 -> %3 in %4")
        .arg(library->progId, library->classId, library->path, ClassRegistry::userFilePath());
}
