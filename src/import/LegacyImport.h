#pragma once

// The legacy import as start-up runs it: on a database that start-up has just created,
// import the legacy table lying in the folder, with the please-wait window showing; once
// the database is in place, tell the user how it went and leave the full list in a log.

#include "import/ImportReport.h"
#include "import/modConvert.h"
#include "store/Database.h"
#include "store/Status.h"

#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace qs {

class LegacyImport
{
public:
    // `folder` holds the legacy files; empty means the current folder at the time of import.
    explicit LegacyImport(QString folder = {});

    // The function start-up runs on a database it has just created. It refers to this
    // object, which must therefore outlive start-up.
    std::function<Status(Database &)> filler();

    // Imports the legacy table, when the folder has one, into `db`. A table that cannot be
    // read fails the whole import with a text naming the file and the reason.
    Status fill(Database &db);

    // What the last import did; empty when none ran or its outcome was already reported.
    const std::optional<ImportReport> &report() const { return m_report; }

    // Once the database is in place at `databasePath`: shows the end-of-import message (the
    // import has already written the log beside the database, or says here why it could not).
    // Does nothing when no import is waiting to be reported.
    void reportOutcome(QWidget *parent, const QString &databasePath);

    // Told after the please-wait window has shown each step of progress.
    void setProgressListener(ImportProgress listener) { m_listener = std::move(listener); }

private:
    QString m_folder;
    std::optional<ImportReport> m_report;
    Status m_logWritten;
    ImportProgress m_listener;
};

// Writes the full report as the log file beside the database; replaces an older log whole.
Status fnWriteImportLog(const QString &databasePath, const ImportReport &report);

} // namespace qs
