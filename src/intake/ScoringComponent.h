#pragma once

#include "ScoringAbi.h"

#include "platform/Result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <utility>

// One instance of a scoring component, released when the handle goes.
class ScoringComponent
{
public:
    ScoringComponent() = default;
    explicit ScoringComponent(ScoreObject *object)
        : m_object(object)
    {
    }
    ScoringComponent(ScoringComponent &&other) noexcept
        : m_object(std::exchange(other.m_object, nullptr))
    {
    }
    ScoringComponent &operator=(ScoringComponent &&other) noexcept;
    ScoringComponent(const ScoringComponent &) = delete;
    ScoringComponent &operator=(const ScoringComponent &) = delete;
    ~ScoringComponent();

    bool isNull() const { return m_object == nullptr; }

    Status Process();
    // After Process: the component would not take the sender and wrote nothing.
    bool refusedSender() const { return m_refused; }
    Status setConnectionString(const QByteArray &utf8);
    Status setListenPort(qint32 port);
    Status setSenderIP(const QByteArray &dotted);
    Status setSenderPort(qint32 port);
    Status setLogPath(const QByteArray &utf8);
    Status setRawMode(qint16 mode);
    Status setPayload(QByteArrayView bytes);

private:
    Status check(ScStatus status, const char *member) const;

    ScoreObject *m_object = nullptr;
    bool m_refused = false;
};
