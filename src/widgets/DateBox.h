#pragma once

#include <QFocusEvent>
#include <QLineEdit>

#include <functional>

namespace qs {

// A line edit that reports gaining and losing the focus after its own
// handling, so that its owner's selection is not undone by the box's own
// select-all on Tab.
class DateBox : public QLineEdit
{
public:
    using QLineEdit::QLineEdit;

    std::function<void()> gotFocus;
    std::function<void(Qt::FocusReason)> lostFocus;

protected:
    void focusInEvent(QFocusEvent *event) override
    {
        QLineEdit::focusInEvent(event);
        if (gotFocus)
            gotFocus();
    }
    void focusOutEvent(QFocusEvent *event) override
    {
        QLineEdit::focusOutEvent(event);
        if (lostFocus)
            lostFocus(event->reason());
    }
};

} // namespace qs
