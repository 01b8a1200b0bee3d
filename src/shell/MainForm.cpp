#include "MainForm.h"

#include "MainModule.h"
#include "WindowLayout.h"

#include "platform/Twips.h"

#include <QMenuBar>
#include <QResizeEvent>

MainForm::MainForm(MainModule &state, QWidget *parent)
    : QMainWindow(parent)
    , m_state(state)
    , m_label1(new QLabel)
    , m_listView1(new QTreeView)
{
    setWindowTitle(QStringLiteral("Halvemark Corvel UDP"));

    auto *client = new QWidget;
    m_label1->setParent(client);
    m_listView1->setParent(client);
    setCentralWidget(client);

    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_label1->setWordWrap(true);
    m_label1->setText(m_state.Label1.caption());
    connect(&m_state.Label1, &StatusLine::captionChanged, m_label1, &QLabel::setText);

    m_listView1->setObjectName(QStringLiteral("ListView1"));
    m_listView1->setModel(&m_state.ListView1);
    m_listView1->setRootIsDecorated(false);
    m_listView1->setUniformRowHeights(true);
    m_listView1->setAllColumnsShowFocus(true);
    m_listView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_listView1->setSelectionMode(QAbstractItemView::SingleSelection);
    m_listView1->setEditTriggers(QAbstractItemView::NoEditTriggers);

    buildMenus();
}

void MainForm::buildMenus()
{
    m_fileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    m_fileMenu->setObjectName(QStringLiteral("FileMenu"));
    m_fileRaw = m_fileMenu->addAction(QStringLiteral("Raw Logging"));
    m_fileRaw->setObjectName(QStringLiteral("FileRaw"));
    m_fileRaw->setCheckable(true);
    m_fileRaw->setChecked(m_state.RawLogging != 0);
    connect(m_fileRaw, &QAction::triggered, this, &MainForm::onFileRaw);
}

void MainForm::onFileRaw()
{
    m_state.switchRawLogging();
    // The check mark follows the value: checked while raw logging is on.
    m_fileRaw->setChecked(m_state.RawLogging != 0);
}

double MainForm::logicalDpi() const
{
    return centralWidget()->logicalDpiY();
}

void MainForm::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    layoutClientArea();
}

void MainForm::layoutClientArea()
{
    const QWidget *client = centralWidget();
    const double dpi = logicalDpi();
    const ClientSplit split = splitClientArea(Twips::fromPixels(client->height(), dpi));
    const int labelHeight = Twips::toPixels(double(split.labelHeight), dpi);
    m_listView1->setGeometry(0, labelHeight, client->width(), client->height() - labelHeight);
    m_label1->setGeometry(0, 0, client->width(), labelHeight);
}
