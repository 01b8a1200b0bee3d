#include "ScoringComponent.h"

ScoringComponent &ScoringComponent::operator=(ScoringComponent &&other) noexcept
{
    if (this != &other) {
        // The new instance exists before the previous one is released.
        ScoreObject *previous = std::exchange(m_object, std::exchange(other.m_object, nullptr));
        m_refused = std::exchange(other.m_refused, false);
        if (previous)
            previous->vtbl->Release(previous);
    }
    return *this;
}

ScoringComponent::~ScoringComponent()
{
    if (m_object)
        m_object->vtbl->Release(m_object);
}

Status ScoringComponent::check(ScStatus status, const char *member) const
{
    if (status >= 0)
        return {};
    const char *text = m_object->vtbl->ErrorText ? m_object->vtbl->ErrorText(m_object) : nullptr;
    QString description = text ? QString::fromUtf8(text) : QString();
    if (description.isEmpty())
        description =
            QStringLiteral("The scoring component failed in %1").arg(QLatin1String(member));
    return ErrorInfo{status, description};
}

Status ScoringComponent::Process()
{
    const ScStatus status = m_object->vtbl->Process(m_object);
    m_refused = status == SC_S_FALSE;
    return check(status, "Process");
}

Status ScoringComponent::setConnectionString(const QByteArray &utf8)
{
    return check(m_object->vtbl->SetConnectionString(m_object, utf8.constData()),
                 "ConnectionString");
}

Status ScoringComponent::setListenPort(qint32 port)
{
    return check(m_object->vtbl->SetListenPort(m_object, port), "ListenPort");
}

Status ScoringComponent::setSenderIP(const QByteArray &dotted)
{
    return check(m_object->vtbl->SetSenderIP(m_object, dotted.constData()), "SenderIP");
}

Status ScoringComponent::setSenderPort(qint32 port)
{
    return check(m_object->vtbl->SetSenderPort(m_object, port), "SenderPort");
}

Status ScoringComponent::setLogPath(const QByteArray &utf8)
{
    return check(m_object->vtbl->SetLogPath(m_object, utf8.constData()), "LogPath");
}

Status ScoringComponent::setRawMode(qint16 mode)
{
    return check(m_object->vtbl->SetRawMode(m_object, mode), "RawMode");
}

Status ScoringComponent::setPayload(QByteArrayView bytes)
{
    return check(m_object->vtbl->SetPayload(m_object,
                                            reinterpret_cast<const uint8_t *>(bytes.constData()),
                                            size_t(bytes.size())),
                 "Payload");
}
