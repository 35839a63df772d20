#include "FileDialog.h"

#include <QFileDialog>
#include <QQueue>

namespace qs {

namespace {
QQueue<QString> &queuedFileNames()
{
    static QQueue<QString> queue;
    return queue;
}
QStringList &asked()
{
    static QStringList list;
    return list;
}
} // namespace

QString FileDialog::getSaveFileName(QWidget *parent, const QString &caption,
                                    const QString &suggestedPath, const QString &filter,
                                    const QString &defaultSuffix)
{
    asked().append(caption);
    if (!queuedFileNames().isEmpty())
        return queuedFileNames().dequeue();
    QFileDialog dialog(parent, caption, suggestedPath, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

void FileDialog::queueFileName(const QString &name)
{
    queuedFileNames().enqueue(name);
}

void FileDialog::clearFileNames()
{
    queuedFileNames().clear();
    asked().clear();
}

QStringList FileDialog::askedCaptions()
{
    return asked();
}

} // namespace qs
