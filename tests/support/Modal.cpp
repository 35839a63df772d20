#include "Modal.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QList>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace qs::test {

namespace {

struct Request
{
    std::function<bool(QWidget *)> accepts;
    std::function<void(QWidget *)> action;
};

// Watches every window that shows and hands the modal ones to their requests.
class ModalWatch : public QObject
{
public:
    static ModalWatch &instance()
    {
        static ModalWatch *watch = [] {
            auto *w = new ModalWatch(qApp);
            qApp->installEventFilter(w);
            return w;
        }();
        return *watch;
    }

    QList<Request> requests;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *window = qobject_cast<QWidget *>(watched);
        if (event->type() != QEvent::Show || !window || !window->isWindow() || !window->isModal())
            return false;
        for (qsizetype i = 0; i < requests.size(); ++i) {
            if (requests.at(i).accepts(window)) {
                run(window, requests.takeAt(i).action);
                return false;
            }
        }
        if (qobject_cast<QMessageBox *>(window))
            run(window, {});
        return false;
    }

private:
    using QObject::QObject;

    void run(QWidget *window, std::function<void(QWidget *)> action)
    {
        QPointer<QWidget> w(window);
        QTimer::singleShot(0, this, [w, action = std::move(action)] {
            // A modal window counts as active with its owner; wait for the keyboard itself.
            if (w && action &&
                QTest::qWaitFor([w] { return !w || QApplication::activeWindow() == w; }, 10000) &&
                w)
                action(w);
            if (auto *dialog = qobject_cast<QDialog *>(w.data()); dialog && dialog->isVisible())
                dialog->reject();
            else if (w && w->isVisible())
                w->close();
        });
    }
};

// Watching from the start, so that an unexpected message box is closed even in a test
// that asked for no window before it.
void watchFromTheStart()
{
    ModalWatch::instance();
}
Q_COREAPP_STARTUP_FUNCTION(watchFromTheStart)

} // namespace

void answerModal(std::function<bool(QWidget *)> accepts, std::function<void(QWidget *)> action)
{
    ModalWatch::instance().requests.append({std::move(accepts), std::move(action)});
}

void answerMessage(QMessageBox::StandardButton button)
{
    answerModal<QMessageBox>([button](QMessageBox &box) { box.button(button)->click(); });
}

int pendingModals()
{
    return int(ModalWatch::instance().requests.size());
}

void clearPendingModals()
{
    ModalWatch::instance().requests.clear();
}

} // namespace qs::test
