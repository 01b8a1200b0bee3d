#pragma once

#include <QObject>
#include <QString>

// The status line: start-up notices and datagram announcements. The window shows it; a
// service without a window prints it.
class StatusLine : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    const QString &caption() const { return m_caption; }
    void setCaption(const QString &caption)
    {
        m_caption = caption;
        emit captionChanged(m_caption);
    }

signals:
    void captionChanged(const QString &caption);

private:
    QString m_caption;
};
