#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace qs {

// Every file dialog of the program goes through here, so tests can answer one without
// racing a modal loop.
class FileDialog
{
public:
    // Asks where to save; `defaultSuffix` is added to a name typed without one. Replacing an
    // existing file is confirmed in the dialog. Empty when the user cancels.
    static QString getSaveFileName(QWidget *parent, const QString &caption,
                                   const QString &suggestedPath, const QString &filter,
                                   const QString &defaultSuffix);

    // Test seam: the next dialogs are answered with these names, in order, without being
    // shown (an empty name answers Cancel). Every caption asked is recorded.
    static void queueFileName(const QString &name);
    static void clearFileNames();
    static QStringList askedCaptions();
};

} // namespace qs
