#pragma once

#include "ComponentLibrary.h"
#include "ScoringComponent.h"

#include "platform/ClassRegistry.h"

#include <QHash>

#include <atomic>
#include <optional>

// Activates the registered class: ProgID -> class id -> library, then one fresh instance per
// call. A successful activation is remembered, so the registration is read once per run;
// a failed one is tried again on the next call.
class ScoringComponentFactory
{
public:
    explicit ScoringComponentFactory(ClassRegistry registry = {})
        : m_registry(registry)
    {
    }

    Result<ScoringComponent> create(const QString &progId);
    // Opens the registered library without making an instance, so the health page tells from
    // the start whether the component loads; a datagram tries again if it does not.
    Status load(const QString &progId);

    // For the metrics and health pages, from any thread.
    struct Figures
    {
        bool loaded = false;
        std::optional<ScoringFigures> figures; // when the component reports them
    };
    Figures figures() const;

    // At a normal stop, after the last datagram: lets every activated component write what
    // it holds. The number of datagrams they could not write.
    qint64 finish();

private:
    Result<ComponentLibrary> activate(const QString &progId);
    const ComponentLibrary *active(const QString &progId, ErrorInfo &error);

    ClassRegistry m_registry;
    QHash<QString, ComponentLibrary> m_active;
    std::atomic<bool> m_loaded{false};
    std::atomic<ScoringComponentFiguresFn> m_figures{nullptr};
};
