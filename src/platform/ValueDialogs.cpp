#include "ValueDialogs.h"

#include "Twips.h"

#include <QKeyEvent>

namespace {

// Design sizes in twips.
constexpr int ClientWidth = 3300;
constexpr int ClientHeight = 870;

QRect twipsRect(const QWidget *widget, int left, int top, int width, int height)
{
    const double x = widget->logicalDpiX();
    const double y = widget->logicalDpiY();
    return QRect(Twips::toPixels(left, x), Twips::toPixels(top, y), Twips::toPixels(width, x),
                 Twips::toPixels(height, y));
}

QPushButton *okButton(QDialog *dialog)
{
    auto *button = new QPushButton(QStringLiteral("OK"), dialog);
    button->setObjectName(QStringLiteral("Command1"));
    button->setDefault(true);
    button->setAutoDefault(true);
    QObject::connect(button, &QPushButton::clicked, dialog, &QDialog::accept);
    return button;
}

void designForm(QDialog *dialog, QLabel *label, QWidget *entry, QPushButton *ok, int entryHeight)
{
    dialog->setModal(true);
    dialog->setFixedSize(twipsRect(dialog, 0, 0, ClientWidth, ClientHeight).size());
    label->setObjectName(QStringLiteral("Label1"));
    label->setGeometry(twipsRect(dialog, 120, 240, 1575, 375));
    entry->setGeometry(twipsRect(dialog, 1800, 240, 855, entryHeight));
    ok->setGeometry(twipsRect(dialog, 2760, 240, 495, 495));
    entry->setFocus();
}

} // namespace

void ValueForm::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

SingleValueDialog::SingleValueDialog(QWidget *parent)
    : ValueForm(parent)
    , m_label1(new QLabel(QStringLiteral("Port Number"), this))
    , m_text1(new QLineEdit(QStringLiteral("Text1"), this))
    , m_command1(okButton(this))
{
    setObjectName(QStringLiteral("SingleValueDialog"));
    setWindowTitle(QStringLiteral("SingleValueDialog"));
    m_text1->setObjectName(QStringLiteral("Text1"));
    designForm(this, m_label1, m_text1, m_command1, 405);
}

SingleSelectDialog::SingleSelectDialog(QWidget *parent)
    : ValueForm(parent)
    , m_label1(new QLabel(QStringLiteral("Port Number"), this))
    , m_combo1(new QComboBox(this))
    , m_command1(okButton(this))
{
    setObjectName(QStringLiteral("SingleSelectDialog"));
    setWindowTitle(QStringLiteral("SingleSelectDialog"));
    m_combo1->setObjectName(QStringLiteral("Combo1"));
    m_combo1->setEditable(true);
    m_combo1->setInsertPolicy(QComboBox::NoInsert);
    m_combo1->setEditText(QStringLiteral("Combo1"));
    // Enter in the text part presses OK. Said outright: whether the key travels on to the
    // default button depends on the combo box's insert policy and completer.
    connect(m_combo1->lineEdit(), &QLineEdit::returnPressed, m_command1, &QPushButton::click);
    designForm(this, m_label1, m_combo1, m_command1, 315);
}
