#pragma once

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <functional>

// One step on a modal dialog: of the class named (any dialog when null), once it is showing
// and has the keyboard.
struct ModalStep
{
    const char *className;
    std::function<void(QDialog *)> act;
};

// Runs each step on the next modal dialog it fits, one event loop turn apart. Steps whose
// dialog never shows are given up after about five seconds, so none acts on a later test's.
inline void whenShown(QList<ModalStep> steps, int triesLeft = 500)
{
    if (steps.isEmpty() || triesLeft == 0)
        return;
    QTimer::singleShot(10, [steps, triesLeft]() mutable {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        const char *wanted = steps.first().className;
        if (!dialog || (wanted && !dialog->inherits(wanted)) || !dialog->isVisible() ||
            QApplication::activeWindow() != dialog) {
            whenShown(steps, triesLeft - 1);
            return;
        }
        const ModalStep step = steps.takeFirst();
        step.act(dialog);
        whenShown(steps);
    });
}
