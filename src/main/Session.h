#pragma once

#include "store/Database.h"
#include "store/ServerDatabase.h"
#include "store/Status.h"

#include <QString>

#include <functional>
#include <memory>

namespace qs {

class DocumentIndexService;

// What one run of the program works on: the database and the in-memory
// index that follows it. Owned by main() (or a test) and handed to the
// windows, so it outlives every window and record set that uses it.
class Session
{
public:
    Session();
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // Runs on the new database when opening has just created it.
    void setNewDatabaseFiller(std::function<Status(Database &)> fill) { m_fill = std::move(fill); }

    // Makes open() work on a PostgreSQL server (see connectServerDatabase)
    // instead of the file. With `copyFrom`, the documents and types of that
    // database file are copied to the server first, which must hold none;
    // `progress` hears how the copy goes.
    void useServer(const QString &conninfo, const QString &copyFrom = {},
                   CopyProgress progress = {});

    // Opens "Qsk.MDB" in the current folder, or creates it from the template
    // (looked for where the program's data files are, see DataFiles.h); or
    // the server database, creating its tables when it has none.
    Status open();
    // Takes a database that is already open (tests, tools).
    void adopt(std::unique_ptr<Database> db);

    bool isOpen() const { return m_db != nullptr; }
    // True when open() created the database on this run.
    bool created() const { return m_created; }
    Database *database() const { return m_db.get(); }
    // The database as messages name it: the file's name, or the server database.
    QString displayName() const;
    const std::shared_ptr<DocumentIndexService> &index() const { return m_index; }

private:
    Status openServer();

    std::function<Status(Database &)> m_fill;
    bool m_onServer = false;
    QString m_conninfo; // never shown: it may hold a password
    QString m_copyFrom;
    CopyProgress m_copyProgress;
    std::unique_ptr<Database> m_db;
    // Declared after the database, so it goes first.
    std::shared_ptr<DocumentIndexService> m_index;
    bool m_created = false;
};

} // namespace qs
