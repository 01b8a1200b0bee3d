#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QTreeView>

class MainModule;
class QAction;
class QMenu;

// The main window: the status line on top, the connection list below, the File and Tools
// menus. Positions and sizes are exchanged in twips. The menu commands themselves live
// elsewhere; the window only offers them.
class MainForm : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainForm(MainModule &state, QWidget *parent = nullptr);

    QLabel *Label1() const { return m_label1; }
    QTreeView *ListView1() const { return m_listView1; }
    QMenu *FileMenu() const { return m_fileMenu; }
    QMenu *Tools() const { return m_tools; }
    QAction *FileRaw() const { return m_fileRaw; }
    QAction *FileSave() const { return m_fileSave; }
    QAction *FileExit() const { return m_fileExit; }
    QAction *ToolsPort() const { return m_toolsPort; }
    QAction *ToolsDatabase() const { return m_toolsDatabase; }
    QAction *ToolsLogon() const { return m_toolsLogon; }
    QAction *ToolsLog() const { return m_toolsLog; }
    QAction *ToolsAdd() const { return m_toolsAdd; }
    QAction *ToolsDelete() const { return m_toolsDelete; }

    // Key of the selected row, "" when no row is selected.
    QString selectedKey() const;

    // The window's position and size in twips. The size is the window as the program
    // manages it, menu bar included, without the desktop's decoration (which differs from
    // one desktop to the next and would make a remembered size grow at every start).
    double topTwips() const;
    double leftTwips() const;
    double heightTwips() const;
    double widthTwips() const;
    void setTopTwips(double twips);
    void setLeftTwips(double twips);
    void setHeightTwips(double twips);
    void setWidthTwips(double twips);
    // The screen the window is on, in twips.
    double screenHeightTwips() const;
    double screenWidthTwips() const;

    // Column 1 to 4 of the connection list.
    double columnWidthTwips(int column) const;
    void setColumnWidthTwips(int column, double twips);
    // Width of a text in the status line's font, as a label sized to it would be.
    double measureTwips(const QString &text) const;

signals:
    // The window is asked to close (by the operator, the desktop or a stop signal).
    void closing();
    void saveRequested();
    void exitRequested();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildFileMenu();
    void buildToolsMenu();
    void buildList();
    void layoutClientArea();
    void onFileRaw();
    void onColumnClick(int section);
    double dpiX() const;
    double dpiY() const;

    MainModule &m_state;
    QLabel *m_label1;
    QTreeView *m_listView1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    QMenu *m_fileMenu = nullptr;
    QMenu *m_tools = nullptr;
    QAction *m_fileRaw = nullptr;
    QAction *m_fileSave = nullptr;
    QAction *m_fileExit = nullptr;
    QAction *m_toolsPort = nullptr;
    QAction *m_toolsDatabase = nullptr;
    QAction *m_toolsLogon = nullptr;
    QAction *m_toolsLog = nullptr;
    QAction *m_toolsAdd = nullptr;
    QAction *m_toolsDelete = nullptr;
};
