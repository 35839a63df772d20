#include "import/LegacyImport.h"

#include "import/frmConverting.h"
#include "store/Schema.h"
#include "widgets/MessageBox.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <utility>

namespace qs {

namespace {

// Lets the please-wait window paint without letting the user reach anything meanwhile.
void letWindowPaint()
{
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

// A failed import fails the new database's filling, so the database is not kept.
Status notImported(const Database &db, const QString &reason)
{
    const QString what =
        db.dialect() == SqlDialect::SQLite
            ? QStringLiteral("the database \"%1\" was not created").arg(schema::DatabaseFile)
            : QStringLiteral("Quillstack's tables were not created in the %1").arg(db.path());
    return Status::failure(QStringLiteral("The legacy documents could not be imported, so %1; "
                                          "the next start will try again.\n\n%2")
                               .arg(what, reason));
}

} // namespace

LegacyImport::LegacyImport(QString folder) : m_folder(std::move(folder)) {}

std::function<Status(Database &)> LegacyImport::filler()
{
    return [this](Database &db) { return fill(db); };
}

Status LegacyImport::fill(Database &db)
{
    m_report.reset();
    const QString folder = m_folder.isEmpty() ? QDir::currentPath() : m_folder;
    const Result<QString> table = fnFindLegacyFile(folder, schema::LegacyTableFile);
    if (table.ok() && table->isEmpty())
        return Status::success();
    Result<QString> memo = fnFindLegacyFile(folder, schema::LegacyMemoFile);
    if (!table || !memo)
        return notImported(db, table ? memo.error() : table.error());
    if (memo->isEmpty())
        *memo = QDir(folder).filePath(schema::LegacyMemoFile); // the reader reports it missing

    frmConverting window;
    window.show();
    letWindowPaint();
    window.repaint();
    const Result<ImportReport> result =
        ConvertDbfDatabase(db, *table, *memo, [&](int rowsDone, int rowCount) {
            window.setProgress(rowsDone, rowCount);
            letWindowPaint();
            if (m_listener)
                m_listener(rowsDone, rowCount);
        });
    if (!result)
        return notImported(db, result.error());
    m_report = result.value();
    // Written beside the database before it takes its name, so that a start
    // killed from here on cannot lose the log. A server database has no
    // folder: the log goes beside the legacy table.
    m_logWritten = fnWriteImportLog(db.dialect() == SqlDialect::SQLite
                                        ? db.path()
                                        : QDir(folder).filePath(schema::DatabaseFile),
                                    *m_report);
    return Status::success();
}

void LegacyImport::reportOutcome(QWidget *parent, const QString &)
{
    if (!m_report)
        return;
    const ImportReport report = *std::exchange(m_report, std::nullopt);
    QString text = fnImportMessage(report);
    if (!m_logWritten)
        text += QStringLiteral("\n\n") + m_logWritten.message();
    MessageBox::show(parent, text, MessageBox::defaultTitle());
}

Status fnWriteImportLog(const QString &databasePath, const ImportReport &report)
{
    const QString path =
        QFileInfo(databasePath).absoluteDir().filePath(QString::fromLatin1(kImportLogFile));
    // Written whole or not at all, so an older log is never left half replaced.
    QSaveFile file(path);
    const QByteArray bytes = fnImportLog(report).toUtf8();
    if (file.open(QIODevice::WriteOnly | QIODevice::Text) && file.write(bytes) == bytes.size() &&
        file.commit())
        return Status::success();
    return Status::failure(QStringLiteral("The log \"%1\" could not be written: %2")
                               .arg(QDir::toNativeSeparators(path), file.errorString()));
}

} // namespace qs
