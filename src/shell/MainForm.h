#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QTreeView>

class MainModule;
class QAction;
class QMenu;

// The main window: the status line on top, the connection list below, the menus.
class MainForm : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainForm(MainModule &state, QWidget *parent = nullptr);

    QLabel *Label1() const { return m_label1; }
    QTreeView *ListView1() const { return m_listView1; }
    QAction *FileRaw() const { return m_fileRaw; }

    // The client area's logical DPI, for converting twips.
    double logicalDpi() const;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void buildMenus();
    void layoutClientArea();
    void onFileRaw();

    MainModule &m_state;
    QLabel *m_label1;
    QTreeView *m_listView1;
    QMenu *m_fileMenu = nullptr;
    QAction *m_fileRaw = nullptr;
};
