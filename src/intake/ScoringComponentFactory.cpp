#include "ScoringComponentFactory.h"

namespace {

constexpr qint32 ClassNotRegistered = -2147221164; // 0x80040154

} // namespace

Result<ComponentLibrary> ScoringComponentFactory::activate(const QString &progId)
{
    const std::optional<QString> classId =
        m_registry.readDefault(progId + QStringLiteral("\\Clsid"));
    const std::optional<QString> path =
        classId ? m_registry.readDefault(QStringLiteral("Clsid\\") + *classId +
                                         QStringLiteral("\\InprocServer32"))
                : std::nullopt;
    if (!path)
        return ErrorInfo{ClassNotRegistered,
                         QStringLiteral("Class not registered: %1 (register its library with "
                                        "varnock_udp --regserver)")
                             .arg(progId)};
    Result<ComponentLibrary> library = openComponentLibrary(*path);
    if (!library)
        return library;
    library->classId = *classId; // create what the registration names
    library->classIdUtf8 = classId->toUtf8();
    return library;
}

const ComponentLibrary *ScoringComponentFactory::active(const QString &progId, ErrorInfo &error)
{
    auto found = m_active.constFind(progId);
    if (found == m_active.constEnd()) {
        Result<ComponentLibrary> library = activate(progId);
        if (!library) {
            error = library.error();
            return nullptr;
        }
        found = m_active.insert(progId, *library);
        m_figures.store(library->figures);
        m_loaded.store(true);
    }
    return &*found;
}

Status ScoringComponentFactory::load(const QString &progId)
{
    ErrorInfo error;
    if (!active(progId, error))
        return error;
    return {};
}

ScoringComponentFactory::Figures ScoringComponentFactory::figures() const
{
    Figures figures;
    figures.loaded = m_loaded.load();
    if (const ScoringComponentFiguresFn read = m_figures.load()) {
        ScoringFigures values = {};
        values.size = sizeof values;
        read(&values);
        figures.figures = values;
    }
    return figures;
}

Result<ScoringComponent> ScoringComponentFactory::create(const QString &progId)
{
    ErrorInfo error;
    const ComponentLibrary *found = active(progId, error);
    if (!found)
        return error;
    ScoreObject *object = nullptr;
    const ScStatus status = found->create(found->classIdUtf8.constData(), &object);
    if (status < 0 || !object)
        return ErrorInfo{
            status < 0 ? status : qint32(SC_E_FAIL),
            QStringLiteral("The scoring component %1 could not create an instance of %2")
                .arg(found->path, found->classId)};
    if (!object->vtbl || object->vtbl->abiVersion != SCORING_ABI_VERSION) {
        const quint32 version = object->vtbl ? object->vtbl->abiVersion : 0;
        if (object->vtbl && object->vtbl->Release)
            object->vtbl->Release(object);
        return ErrorInfo{qint32(SC_E_FAIL),
                         QStringLiteral("The scoring component %1 speaks interface "
                                        "version %2; this program needs version %3")
                             .arg(found->path)
                             .arg(version)
                             .arg(SCORING_ABI_VERSION)};
    }
    return ScoringComponent(object);
}

qint64 ScoringComponentFactory::finish()
{
    qint64 unwritten = 0;
    for (const ComponentLibrary &library : std::as_const(m_active)) {
        if (library.finish)
            unwritten += library.finish();
    }
    m_figures.store(nullptr);
    m_loaded.store(false);
    m_active.clear(); // no instance is made after this
    return unwritten;
}
