#include "StatusLabelFeed.h"

#include "state/StatusLine.h"

#include <QLabel>
#include <QScreen>

StatusLabelFeed::StatusLabelFeed(StatusLine &status, QLabel &label, QObject *parent)
    : QObject(parent)
    , m_status(status)
    , m_label(label)
{
    m_frame.setSingleShot(true);
    connect(&m_frame, &QTimer::timeout, this, &StatusLabelFeed::onFrame);
    connect(&m_status, &StatusLine::captionChanged, this, &StatusLabelFeed::onCaption);
    m_label.setText(m_status.caption());
}

void StatusLabelFeed::onCaption()
{
    if (m_frame.isActive()) {
        m_pending = true;
        return;
    }
    m_label.setText(m_status.caption());
    m_frame.start(frameMs());
}

void StatusLabelFeed::onFrame()
{
    if (!m_pending)
        return; // quiet for a frame: the next caption shows at once
    m_pending = false;
    m_label.setText(m_status.caption());
    m_frame.start(frameMs());
}

int StatusLabelFeed::frameMs() const
{
    const QScreen *screen = m_label.screen();
    const qreal hertz = screen ? screen->refreshRate() : 60.0;
    return hertz >= 1.0 ? qMax(1, int(1000.0 / hertz)) : 16;
}
