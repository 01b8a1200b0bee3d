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

    // At a normal stop, after the last datagram: lets every activated component write what
    // it holds. The number of datagrams they could not write.
    qint64 finish();

private:
    Result<ComponentLibrary> activate(const QString &progId);

    ClassRegistry m_registry;
    QHash<QString, ComponentLibrary> m_active;
};
