#pragma once

#include <QByteArray>
#include <QString>

// The UTF-8 form of a text that seldom changes, made again only when it does: a connection's
// settings are handed over with every datagram.
class Utf8Text
{
public:
    const QByteArray &of(const QString &text)
    {
        if (m_utf8.isNull() || text != m_text) {
            m_text = text;
            m_utf8 = text.toUtf8();
        }
        return m_utf8;
    }

private:
    QString m_text;
    QByteArray m_utf8;
};
