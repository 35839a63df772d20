#pragma once

#include <QMessageBox>
#include <QString>

namespace qs {

// Every message box of the program goes through here, so tests can answer a
// question without racing a modal loop and can read the exact text shown.
class MessageBox
{
public:
    static QMessageBox::StandardButton
    show(QWidget *parent, const QString &text, const QString &title,
         QMessageBox::StandardButtons buttons = QMessageBox::Ok,
         QMessageBox::Icon icon = QMessageBox::NoIcon,
         QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

    // The program's default title for boxes that carry no title of their own.
    static QString defaultTitle();
    // Said at start and whenever a change is refused on a database that can only be read.
    static QString readOnlyText(const QString &databasePath);

    // Test seam: the next boxes are answered with these buttons, in order,
    // without being shown. Every text shown is recorded.
    static void queueAnswer(QMessageBox::StandardButton answer);
    static QStringList shownTexts();
    static void clearShownTexts();
};

} // namespace qs
