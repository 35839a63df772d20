#pragma once

#include "DatabaseFile.h"

#include <QString>

#include <functional>

namespace qs {

// Opens the document database on a PostgreSQL server (see
// connectServerDatabase for `conninfo`). On an empty database it creates the
// schema and runs `fill` (the legacy import) in the same transaction, under
// an advisory lock, so that of several copies starting at once exactly one
// creates and fills it; `created` is true for that copy only. A database
// that holds other tables but not ours, or ours at a newer schema version,
// is refused and left unchanged, and so is a role that may not create
// tables there; each message says which.
Result<OpenedDatabase> openServerDatabase(const QString &conninfo,
                                          const std::function<Status(Database &)> &fill = {});

// Copies every type and document of a database file into `server`, which
// must hold no document and no type: one transaction, RecordPtr kept, and
// the key sequences set past the highest key the file ever gave. Nothing is
// changed when it fails. `progress` hears the rows copied of the total.
using CopyProgress = std::function<void(qint64 done, qint64 total)>;
Status copyFileToServer(const QString &sqliteFile, Database &server,
                        const CopyProgress &progress = {});

} // namespace qs
