#include "EditingBench.h"
#include "ModalSteps.h"
#include "TestMain.h"

#include "editing/ChangePort.h"
#include "platform/Twips.h"
#include "platform/ValueDialogs.h"
#include "platform/WidgetsOperator.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <memory>

namespace {

// Types text into the dialog's entry and presses Enter, both where the keyboard focus is as
// the form opens; the form closes without an answer when Enter did not press OK.
void typeAndEnter(QDialog *dialog, const QString &text)
{
    QWidget *focus = QApplication::focusWidget();
    QVERIFY(focus && dialog->isAncestorOf(focus));
    if (auto *combo = dialog->findChild<QComboBox *>("Combo1"))
        combo->clearEditText();
    else
        dialog->findChild<QLineEdit *>("Text1")->clear();
    QTest::keyClicks(focus, text);
    QTest::keyClick(focus, Qt::Key_Return);
    // OK closes the form at once.
    if (dialog->isVisible())
        dialog->reject();
}

} // namespace

// The value dialogs as the operator meets them, offscreen.
class TestEditingDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(EditingBench::registerRecordingComponent()); }

    void init()
    {
        m_window = std::make_unique<QWidget>();
        m_window->setGeometry(130, 90, 400, 300);
        m_window->show();
        m_op = std::make_unique<WidgetsOperator>(m_window.get());
    }
    void cleanup()
    {
        m_op.reset();
        m_window.reset();
    }

    void enterPressesOk_data()
    {
        QTest::addColumn<bool>("select");
        QTest::addColumn<QString>("typed"); // null: the form is closed by its frame
        addRow("value", false, "4321x");
        addRow("select, a text not in the list", true, "Yes");
        addRow("value, closed by its frame", false, QString());
        addRow("select, closed by its frame", true, QString());
    }
    void enterPressesOk()
    {
        QFETCH(bool, select);
        QFETCH(QString, typed);
        const QPoint corner = m_window->geometry().topLeft();
        QPoint placed;
        QString initial;
        QStringList entries;
        whenShown({{select ? "SingleSelectDialog" : "SingleValueDialog", [&](QDialog *dialog) {
                        placed = dialog->pos();
                        initial = dialog->windowTitle() + '|' +
                                  dialog->findChild<QLabel *>("Label1")->text() + '|';
                        if (auto *combo = dialog->findChild<QComboBox *>("Combo1")) {
                            initial += combo->currentText();
                            for (int i = 0; i < combo->count(); ++i)
                                entries.append(combo->itemText(i));
                        } else {
                            initial += dialog->findChild<QLineEdit *>("Text1")->text();
                        }
                        if (typed.isNull()) {
                            QTest::keyClicks(dialog->focusWidget(), "123");
                            dialog->close();
                        } else {
                            typeAndEnter(dialog, typed);
                        }
                    }}});

        const std::optional<QString> reply = ask(select, QStringLiteral("True"));

        QCOMPARE(reply, typed.isNull() ? std::nullopt : std::optional<QString>(typed));
        QCOMPARE(initial, QStringLiteral("Caption|Label|True"));
        QCOMPARE(entries, select ? QStringList({"False", "True"}) : QStringList());
        const double dpiX = m_window->logicalDpiX();
        const double dpiY = m_window->logicalDpiY();
        QCOMPARE(placed, corner + QPoint(Twips::toPixels(512, dpiX), Twips::toPixels(512, dpiY)));
    }

    // The forms handle OK alone: Esc, in the entry or on the form, leaves them open.
    void escapeDoesNothing_data()
    {
        QTest::addColumn<bool>("select");
        QTest::addColumn<bool>("onTheForm");
        addRow("value, in the text box", false, false);
        addRow("value, on the form", false, true);
        addRow("select, in the drop-down box", true, false);
        addRow("select, on the form", true, true);
    }
    void escapeDoesNothing()
    {
        QFETCH(bool, select);
        QFETCH(bool, onTheForm);
        bool openAfterEscape = false;
        whenShown({{select ? "SingleSelectDialog" : "SingleValueDialog", [&](QDialog *dialog) {
                        QWidget *target = onTheForm ? dialog : QApplication::focusWidget();
                        QTest::keyClick(target, Qt::Key_Escape);
                        openAfterEscape = dialog->isVisible();
                        typeAndEnter(dialog, QStringLiteral("after Esc"));
                    }}});

        const std::optional<QString> reply = ask(select, QStringLiteral("False"));

        QVERIFY(openAfterEscape);
        QCOMPARE(reply, std::optional<QString>(QStringLiteral("after Esc")));
    }

    void datagramsFlowWhileAValueDialogIsOpen()
    {
        EditingBench bench;
        const quint16 port1 = freePort();
        const quint16 port2 = freePort();
        const quint16 moved = freePort();
        bench.addConnection(1, port1, "P=1");
        bench.addConnection(2, port2, "P=2");
        const EditingContext context{bench.state,
                                     *m_op,
                                     bench.databases,
                                     [] { return QStringLiteral("con1"); },
                                     [](const QString &) {},
                                     [] {}};
        bool arrivedWhileOpen = false;
        whenShown({{"SingleValueDialog", [&](QDialog *dialog) {
                        bench.send(port2, "while the dialog is open");
                        QTRY_COMPARE(bench.intake.handedOver(), quint64(1));
                        arrivedWhileOpen = dialog->isVisible();
                        typeAndEnter(dialog, QString::number(moved));
                    }}});

        changePort(context);

        QVERIFY(arrivedWhileOpen);
        QCOMPARE(bench.payloads(), QList<QByteArray>{"while the dialog is open"});
        QCOMPARE(bench.state.ListView1.row(0).text, QString::number(moved));
        QCOMPARE(bench.state.udpPeerB.element(1)->LocalPort(), moved);
    }

private:
    std::optional<QString> ask(bool select, const QString &initial)
    {
        const ValueRequest request{QStringLiteral("Caption"), QStringLiteral("Label"), initial};
        return select
                   ? m_op->singleSelect(request, {QStringLiteral("False"), QStringLiteral("True")})
                   : m_op->singleValue(request);
    }

    std::unique_ptr<QWidget> m_window;
    std::unique_ptr<WidgetsOperator> m_op;
};

VARNOCK_TEST_MAIN(TestEditingDialogs)
#include "tst_editingdialogs.moc"
