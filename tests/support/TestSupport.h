#pragma once

// Shared by the tests: every test works in a folder of its own that holds a
// copy of the template database, with the per-user settings kept there too.
// Tests of the engine layer run twice from one source, on the file and on
// the test server (QSK_TEST_MAIN_EVERY_ENGINE); makeDatabase() gives a
// fresh database of the engine under test.

#include "store/Database.h"
#include "store/SqliteDatabase.h"
#include "support/TestServer.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace qs::test {

inline QString buildDir()
{
    return qEnvironmentVariable("QSK_TEST_BINARY_DIR");
}

inline QString templatePath()
{
    return QDir(buildDir()).filePath(QStringLiteral("QskDef.MDB"));
}

// Makes a temporary folder the current one for its lifetime.
class TestFolder
{
public:
    explicit TestFolder(bool withTemplate = true) : m_previous(QDir::currentPath())
    {
        QDir::setCurrent(m_dir.path());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           m_dir.filePath(QStringLiteral("settings")));
        if (withTemplate)
            QFile::copy(templatePath(), m_dir.filePath(QStringLiteral("QskDef.MDB")));
    }
    ~TestFolder() { QDir::setCurrent(m_previous); }
    TestFolder(const TestFolder &) = delete;
    TestFolder &operator=(const TestFolder &) = delete;

    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const { return m_dir.filePath(name); }

private:
    QString m_previous;
    QTemporaryDir m_dir;
};

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

enum class Engine { File, Server };

inline Engine &currentEngine()
{
    static Engine engine = Engine::File;
    return engine;
}

// A fresh database of the engine under test: a file made from the template
// at `path`, or a new database on the test server (`path` unused).
inline std::unique_ptr<Database> makeDatabase(const QString &path)
{
    if (currentEngine() == Engine::Server) {
        auto opened = openServerDatabase(TestServer::instance().createDatabase());
        if (!opened)
            qWarning("%s", qPrintable(opened.error()));
        return opened ? std::move(opened->db) : nullptr;
    }
    QFile::remove(path);
    if (!QFile::copy(templatePath(), path))
        return nullptr;
    QFile::setPermissions(path, QFile::permissions(path) | QFile::WriteOwner);
    auto db = openSqliteDatabase(path);
    return db ? std::move(db.value()) : nullptr;
}

// Where another process finds the same database: the file's path, or a
// connection string.
inline QString testLocation(Database &db)
{
    if (db.dialect() == SqlDialect::SQLite)
        return db.path();
    auto rows = db.query({QStringLiteral("SELECT current_database()"), {}});
    return rows && !rows->empty() ? TestServer::conninfo(rows->front().values.value(0).toString())
                                  : QString();
}

// Runs the test object on the file, then on the test server.
template <typename TestObject> int runOnEveryEngine(int argc, char **argv)
{
    int failures = 0;
    {
        currentEngine() = Engine::File;
        TestObject test;
        failures += QTest::qExec(&test, argc, argv);
    }
    if (!TestServer::configured()) {
        qInfo("No test server (PGHOST, PGPORT, ...): the server engine was not tested.");
        return failures;
    }
    if (const Status s = TestServer::instance().start(); !s) {
        qCritical("The test server cannot be used: %s", qPrintable(s.message()));
        return failures + 1;
    }
    qInfo("The same tests on the PostgreSQL server:");
    currentEngine() = Engine::Server;
    {
        TestObject test;
        failures += QTest::qExec(&test, argc, argv);
    }
    currentEngine() = Engine::File;
    TestServer::instance().dropAll();
    return failures;
}

struct Doc
{
    qint32 id;
    QString description = {};
    qint16 type = 0;
    QVariant date = {}; // QDate or null
    QString who = {};
    QString note = {};
};

inline qint64 addDocument(Database &db, const Doc &d)
{
    const Status s = db.exec(
        {QStringLiteral("INSERT INTO Documents (ID, Description, DocumentType, Date, Who, Note) "
                        "VALUES (?, ?, ?, ?, ?, ?)"),
         {d.id, d.description, d.type, d.date, d.who, d.note}});
    return s ? db.lastInsertKey() : 0;
}

inline qint16 addType(Database &db, const QString &name)
{
    const Status s = db.exec({QStringLiteral("INSERT INTO Types (Type) VALUES (?)"), {name}});
    return s ? qint16(db.lastInsertKey()) : 0;
}

} // namespace qs::test

#define QSK_TEST_MAIN_EVERY_ENGINE_WITH(App, TestObject)                                           \
    int main(int argc, char **argv)                                                                \
    {                                                                                              \
        App app(argc, argv);                                                                       \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return qs::test::runOnEveryEngine<TestObject>(argc, argv);                                 \
    }
#define QSK_TEST_MAIN_EVERY_ENGINE(TestObject)                                                     \
    QSK_TEST_MAIN_EVERY_ENGINE_WITH(QCoreApplication, TestObject)
