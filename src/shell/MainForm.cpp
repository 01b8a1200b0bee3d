#include "MainForm.h"

#include "StatusLabelFeed.h"
#include "WindowLayout.h"
#include "state/MainModule.h"

#include "platform/Twips.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>

MainForm::MainForm(MainModule &state, QWidget *parent)
    : QMainWindow(parent)
    , m_state(state)
    , m_label1(new QLabel)
    , m_listView1(new QTreeView)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Halvemark Corvel UDP"));
    setWindowIcon(QIcon(QStringLiteral(":/varnock/varnock.xpm")));

    auto *client = new QWidget;
    m_label1->setParent(client);
    m_listView1->setParent(client);
    setCentralWidget(client);

    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_label1->setWordWrap(true);
    new StatusLabelFeed(m_state.Label1, *m_label1, m_label1);

    buildList();
    buildFileMenu();
    buildToolsMenu();
}

void MainForm::buildList()
{
    m_listView1->setObjectName(QStringLiteral("ListView1"));
    m_listView1->setModel(&m_state.ListView1);
    m_listView1->setRootIsDecorated(false);
    m_listView1->setUniformRowHeights(true);
    m_listView1->setAllColumnsShowFocus(true);
    m_listView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_listView1->setSelectionMode(QAbstractItemView::SingleSelection);
    m_listView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_listView1->header()->setStretchLastSection(false);
    m_listView1->header()->setSectionsClickable(true);
    m_listView1->header()->setSectionsMovable(false);
    m_listView1->header()->setMinimumSectionSize(0);
    connect(m_listView1->header(), &QHeaderView::sectionClicked, this, &MainForm::onColumnClick);
    m_listView1->viewport()->installEventFilter(this);
}

void MainForm::buildFileMenu()
{
    m_fileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    m_fileMenu->setObjectName(QStringLiteral("FileMenu"));
    m_fileRaw = m_fileMenu->addAction(QStringLiteral("Raw Logging"));
    m_fileRaw->setObjectName(QStringLiteral("FileRaw"));
    m_fileRaw->setCheckable(true);
    m_fileRaw->setChecked(m_state.RawLogging != 0);
    connect(m_fileRaw, &QAction::triggered, this, &MainForm::onFileRaw);
    m_fileSave = m_fileMenu->addAction(QStringLiteral("&Save Connnections"));
    m_fileSave->setObjectName(QStringLiteral("FileSave"));
    connect(m_fileSave, &QAction::triggered, this, &MainForm::saveRequested);
    m_fileMenu->addSeparator()->setObjectName(QStringLiteral("FileSep1"));
    m_fileExit = m_fileMenu->addAction(QStringLiteral("&Exit"));
    m_fileExit->setObjectName(QStringLiteral("FileExit"));
    connect(m_fileExit, &QAction::triggered, this, &MainForm::exitRequested);
}

void MainForm::buildToolsMenu()
{
    m_tools = menuBar()->addMenu(QStringLiteral("&Tools"));
    m_tools->setObjectName(QStringLiteral("Tools"));
    const auto add = [this](const char *name, const QString &caption) {
        QAction *action = m_tools->addAction(caption);
        action->setObjectName(QLatin1String(name));
        return action;
    };
    m_toolsPort = add("ToolsPort", QStringLiteral("&Port"));
    m_toolsDatabase = add("ToolsDatabase", QStringLiteral("&Database"));
    m_toolsLogon = add("ToolsLogon", QStringLiteral("&Logon"));
    m_toolsLog = add("ToolsLog", QStringLiteral("&Log"));
    m_tools->addSeparator()->setObjectName(QStringLiteral("ToolsSep1"));
    m_toolsAdd = add("ToolsAdd", QStringLiteral("&Add"));
    m_toolsDelete = add("ToolsDelete", QStringLiteral("&Delete"));
}

void MainForm::onFileRaw()
{
    m_state.switchRawLogging();
    // The check mark follows the value: checked while raw logging is on.
    m_fileRaw->setChecked(m_state.RawLogging != 0);
}

void MainForm::onColumnClick(int section)
{
    // One sort order for the whole list, flipped after every click; rows added later are
    // appended unsorted.
    m_state.ListView1.sortBy(section, m_sortOrder);
    m_listView1->header()->setSortIndicator(section, m_sortOrder);
    m_listView1->header()->setSortIndicatorShown(true);
    m_sortOrder = m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
}

bool MainForm::eventFilter(QObject *watched, QEvent *event)
{
    // A right click on the list opens the Tools menu, also where no row is.
    if (watched == m_listView1->viewport() && event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::RightButton) {
            m_tools->popup(mouse->globalPosition().toPoint());
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

QString MainForm::selectedKey() const
{
    const QModelIndexList rows = m_listView1->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return QString();
    return m_state.ListView1.row(rows.first().row()).key;
}

double MainForm::dpiX() const
{
    return logicalDpiX();
}

double MainForm::dpiY() const
{
    return logicalDpiY();
}

double MainForm::topTwips() const
{
    return Twips::fromPixels(geometry().top(), dpiY());
}

double MainForm::leftTwips() const
{
    return Twips::fromPixels(geometry().left(), dpiX());
}

double MainForm::heightTwips() const
{
    return Twips::fromPixels(geometry().height(), dpiY());
}

double MainForm::widthTwips() const
{
    return Twips::fromPixels(geometry().width(), dpiX());
}

void MainForm::setTopTwips(double twips)
{
    QRect g = geometry();
    g.moveTop(Twips::toPixels(twips, dpiY()));
    setGeometry(g);
}

void MainForm::setLeftTwips(double twips)
{
    QRect g = geometry();
    g.moveLeft(Twips::toPixels(twips, dpiX()));
    setGeometry(g);
}

void MainForm::setHeightTwips(double twips)
{
    QRect g = geometry();
    g.setHeight(qMax(0, Twips::toPixels(twips, dpiY())));
    setGeometry(g);
}

void MainForm::setWidthTwips(double twips)
{
    QRect g = geometry();
    g.setWidth(qMax(0, Twips::toPixels(twips, dpiX())));
    setGeometry(g);
}

double MainForm::screenHeightTwips() const
{
    const QScreen *s = screen();
    return s ? Twips::fromPixels(s->geometry().height(), dpiY()) : 0.0;
}

double MainForm::screenWidthTwips() const
{
    const QScreen *s = screen();
    return s ? Twips::fromPixels(s->geometry().width(), dpiX()) : 0.0;
}

double MainForm::columnWidthTwips(int column) const
{
    return Twips::fromPixels(m_listView1->header()->sectionSize(column - 1), dpiX());
}

void MainForm::setColumnWidthTwips(int column, double twips)
{
    m_listView1->header()->resizeSection(column - 1, qMax(0, Twips::toPixels(twips, dpiX())));
}

double MainForm::measureTwips(const QString &text) const
{
    return Twips::fromPixels(m_label1->fontMetrics().horizontalAdvance(text), dpiX());
}

void MainForm::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    layoutClientArea();
}

void MainForm::closeEvent(QCloseEvent *event)
{
    // The request is never refused and nobody is asked; the closing save runs first.
    emit closing();
    event->accept();
}

void MainForm::showEvent(QShowEvent *event)
{
    // Start-up reads logout= after the window was made; the check mark shows the value in force.
    m_fileRaw->setChecked(m_state.RawLogging != 0);
    QMainWindow::showEvent(event);
}

void MainForm::layoutClientArea()
{
    const QWidget *client = centralWidget();
    const ClientSplit split = splitClientArea(Twips::fromPixels(client->height(), dpiY()));
    const int labelHeight = Twips::toPixels(double(split.labelHeight), dpiY());
    m_listView1->setGeometry(0, labelHeight, client->width(), client->height() - labelHeight);
    m_label1->setGeometry(0, 0, client->width(), labelHeight);
}
