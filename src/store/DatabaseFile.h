#pragma once

#include "Database.h"

#include <QString>

#include <functional>
#include <memory>

namespace qs {

struct OpenedDatabase
{
    std::unique_ptr<Database> db;
    bool created = false;
};

// The template is looked for in the current folder first, then in the
// program's own folder. Returns an empty text when neither has it.
QString findTemplate(const QString &fileName, const QString &programDir);

// Opens the database file, or creates it from the template when it does not
// exist. A new database is built under a temporary name, given to `fill`
// (the legacy import runs there) and only then takes its real name, so that
// a start that dies half-way leaves no database behind. An existing file
// that is not a document database is left untouched and reported.
Result<OpenedDatabase> openOrCreateDatabase(const QString &dbPath, const QString &templatePath,
                                            const std::function<Status(Database &)> &fill = {});

} // namespace qs
