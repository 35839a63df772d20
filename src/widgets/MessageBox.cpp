#include "MessageBox.h"

#include <QDir>
#include <QFileInfo>
#include <QQueue>

namespace qs {

namespace {
QQueue<QMessageBox::StandardButton> &answers()
{
    static QQueue<QMessageBox::StandardButton> queue;
    return queue;
}
QStringList &shown()
{
    static QStringList list;
    return list;
}
} // namespace

QMessageBox::StandardButton MessageBox::show(QWidget *parent, const QString &text,
                                             const QString &title,
                                             QMessageBox::StandardButtons buttons,
                                             QMessageBox::Icon icon,
                                             QMessageBox::StandardButton defaultButton)
{
    shown().append(text);
    if (!answers().isEmpty())
        return answers().dequeue();
    QMessageBox box(icon, title, text, buttons, parent);
    // Texts quote stored values (a description in the delete question):
    // never let them be read as markup.
    box.setTextFormat(Qt::PlainText);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return QMessageBox::StandardButton(box.exec());
}

QString MessageBox::defaultTitle()
{
    return QStringLiteral("Quillstack");
}

QString MessageBox::readOnlyText(const QString &databasePath)
{
    return QStringLiteral("The database \"%1\" can only be read. Documents and types can be "
                          "looked through and printed, but not added, changed or deleted.")
        .arg(QDir::toNativeSeparators(QFileInfo(databasePath).absoluteFilePath()));
}

void MessageBox::queueAnswer(QMessageBox::StandardButton answer)
{
    answers().enqueue(answer);
}

QStringList MessageBox::shownTexts()
{
    return shown();
}

void MessageBox::clearShownTexts()
{
    shown().clear();
}

} // namespace qs
