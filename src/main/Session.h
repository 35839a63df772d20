#pragma once

#include "store/Database.h"
#include "store/Status.h"

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

    // Opens "Qsk.MDB" in the current folder, or creates it from the template
    // (looked for where the program's data files are, see DataFiles.h).
    Status open();
    // Takes a database that is already open (tests, tools).
    void adopt(std::unique_ptr<Database> db);

    bool isOpen() const { return m_db != nullptr; }
    // True when open() created the database on this run.
    bool created() const { return m_created; }
    Database *database() const { return m_db.get(); }
    const std::shared_ptr<DocumentIndexService> &index() const { return m_index; }

private:
    std::function<Status(Database &)> m_fill;
    std::unique_ptr<Database> m_db;
    // Declared after the database, so it goes first.
    std::shared_ptr<DocumentIndexService> m_index;
    bool m_created = false;
};

} // namespace qs
