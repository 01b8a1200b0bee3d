#pragma once

#include "ComponentLibrary.h"
#include "ScoringComponent.h"

#include "platform/ClassRegistry.h"

#include <QHash>

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

private:
    Result<ComponentLibrary> activate(const QString &progId);

    ClassRegistry m_registry;
    QHash<QString, ComponentLibrary> m_active;
};
