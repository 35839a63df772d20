#pragma once

#include "Database.h"

#include <memory>

namespace qs {

// Connects to a PostgreSQL server. `conninfo` is any libpq connection string,
// URI or database name, handed to libpq untouched, so the PG* variables,
// ~/.pgpass, pg_service.conf and sslmode work as everywhere else; an empty
// one takes everything from those. It is never shown or kept anywhere but in
// memory, since it may hold a password. A failure says whether the string,
// the server's reachability or the login was at fault.
//
// A lost connection fails the command under way with a message that says
// so; the next command connects again (outside a transaction) and takes the
// record locks it held back, or reports them lost to another user.
Result<std::unique_ptr<Database>> connectServerDatabase(const QString &conninfo);

} // namespace qs
