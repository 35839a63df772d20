#pragma once

// Drives a modal window that a click opens: the action runs inside the
// window's own event loop, and the window is closed afterwards whatever the
// action did, so a failed step can never leave a test waiting forever.

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>

#include <functional>

namespace qs::test {

template <typename Window>
void whenModal(std::function<void(Window &)> action, bool *seen = nullptr)
{
    QTimer::singleShot(0, [action = std::move(action), seen] {
        QPointer<QWidget> top = QApplication::activeModalWidget();
        auto *window = qobject_cast<Window *>(top.data());
        if (seen)
            *seen = window != nullptr;
        if (window)
            action(*window);
        if (auto *dialog = qobject_cast<QDialog *>(top.data()); dialog && dialog->isVisible())
            dialog->reject();
    });
}

} // namespace qs::test
