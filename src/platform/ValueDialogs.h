#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

// The two small modal forms that ask for one value: a text box (port numbers) and an
// editable drop-down box (the logon check). OK hands the text back unchecked and untrimmed;
// Enter presses OK. Closing by the window frame answers nothing.

// What both forms share: OK is the one event they handle, so Esc, which closes a dialog by
// default, leaves them as they are.
class ValueForm : public QDialog
{
    Q_OBJECT

public:
    using QDialog::QDialog;

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

class SingleValueDialog : public ValueForm
{
    Q_OBJECT

public:
    explicit SingleValueDialog(QWidget *parent = nullptr);

    QLabel *Label1() const { return m_label1; }
    QLineEdit *Text1() const { return m_text1; }
    QPushButton *Command1() const { return m_command1; }

private:
    QLabel *m_label1;
    QLineEdit *m_text1;
    QPushButton *m_command1;
};

class SingleSelectDialog : public ValueForm
{
    Q_OBJECT

public:
    explicit SingleSelectDialog(QWidget *parent = nullptr);

    QLabel *Label1() const { return m_label1; }
    QComboBox *Combo1() const { return m_combo1; }
    QPushButton *Command1() const { return m_command1; }

private:
    QLabel *m_label1;
    QComboBox *m_combo1;
    QPushButton *m_command1;
};
