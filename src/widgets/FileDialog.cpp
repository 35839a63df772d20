#include "FileDialog.h"

#include <QFileDialog>
#include <QQueue>

namespace qs {

namespace {
QQueue<QString> &answers()
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
    if (!answers().isEmpty())
        return answers().dequeue();
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
    answers().enqueue(name);
}

void FileDialog::clearFileNames()
{
    answers().clear();
    asked().clear();
}

QStringList FileDialog::askedCaptions()
{
    return asked();
}

} // namespace qs
