#pragma once

// The PostgreSQL server of the tests, started by the test command
// (scripts/test.sh runs ctest under pg_virtualenv, which sets the PG*
// variables). Each test gets a database of its own; all are dropped when
// the test program ends. With QSK_REQUIRE_SERVER=1 a missing server fails
// the run instead of leaving the server engine untested.

#include "store/PostgresDatabase.h"
#include "store/ServerDatabase.h"

#include <QCoreApplication>
#include <QStringList>

namespace qs::test {

class TestServer
{
public:
    static TestServer &instance()
    {
        static TestServer server;
        return server;
    }

    static bool required() { return qEnvironmentVariableIntValue("QSK_REQUIRE_SERVER") == 1; }
    static bool configured()
    {
        for (const char *name : {"PGHOST", "PGPORT", "PGDATABASE", "PGSERVICE"})
            if (qEnvironmentVariableIsSet(name))
                return true;
        return required();
    }

    // Connects once; the failure says why the server engine cannot be tested.
    Status start()
    {
        if (m_admin)
            return Status::success();
        auto admin = connectServerDatabase(QString());
        if (!admin)
            return Status::failure(admin.error());
        m_admin = std::move(admin.value());
        // A template holding the schema makes each test's database quickly.
        m_template = name();
        if (Status s = createEmpty(m_template); !s)
            return s;
        auto opened = openServerDatabase(conninfo(m_template));
        if (!opened)
            return Status::failure(opened.error());
        return Status::success();
    }

    // A new database: empty (in that encoding), or holding the document schema.
    QString createDatabase(bool withSchema = true, const QString &encoding = QStringLiteral("UTF8"))
    {
        const QString db = name();
        const Status s =
            withSchema
                ? m_admin->exec(
                      {QStringLiteral("CREATE DATABASE %1 TEMPLATE %2").arg(db, m_template), {}})
                : createEmpty(db, encoding);
        if (!s)
            qWarning("%s", qPrintable(s.message()));
        m_made << db;
        return conninfo(db);
    }

    // Runs a statement as the server's superuser (roles, grants, other databases).
    Status admin(const Statement &statement) { return m_admin->exec(statement); }

    static QString conninfo(const QString &database)
    {
        return QStringLiteral("dbname=") + database;
    }

    void dropAll()
    {
        if (!m_admin)
            return;
        m_made << m_template;
        for (const QString &db : std::as_const(m_made))
            // The whole cluster goes at the end of the run; a database left now is no harm.
            (void)m_admin->exec(
                {QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(db), {}});
        m_made.clear();
        m_admin.reset();
    }

private:
    Status createEmpty(const QString &db, const QString &encoding = QStringLiteral("UTF8"))
    {
        return m_admin->exec({QStringLiteral("CREATE DATABASE %1 ENCODING '%2' LC_COLLATE 'C' "
                                             "LC_CTYPE 'C' TEMPLATE template0")
                                  .arg(db, encoding),
                              {}});
    }
    QString name()
    {
        return QStringLiteral("qsk_%1_%2").arg(QCoreApplication::applicationPid()).arg(++m_count);
    }

    std::unique_ptr<Database> m_admin;
    QString m_template;
    QStringList m_made;
    int m_count = 0;
};

} // namespace qs::test
