#pragma once

#include <QObject>
#include <QTimer>

class QLabel;
class StatusLine;

// Shows the status line in the window's label. The caption changes with every datagram, up
// to a hundred thousand times a second, and laying out a word-wrapped label costs more than
// receiving a datagram; so the label takes the newest caption at most once per screen
// refresh. A caption after a quiet spell shows at once.
class StatusLabelFeed : public QObject
{
    Q_OBJECT

public:
    StatusLabelFeed(StatusLine &status, QLabel &label, QObject *parent = nullptr);

private:
    void onCaption();
    void onFrame();
    int frameMs() const;

    StatusLine &m_status;
    QLabel &m_label;
    QTimer m_frame;
    bool m_pending = false;
};
