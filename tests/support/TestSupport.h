#pragma once

// Shared by the tests: every test works in a folder of its own that holds a
// copy of the template database, with the per-user settings kept there too.

#include "store/Database.h"
#include "store/SqliteDatabase.h"

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

// A fresh database file made from the template, opened through the store.
inline std::unique_ptr<Database> makeDatabase(const QString &path)
{
    QFile::remove(path);
    if (!QFile::copy(templatePath(), path))
        return nullptr;
    QFile::setPermissions(path, QFile::permissions(path) | QFile::WriteOwner);
    auto db = openSqliteDatabase(path);
    return db ? std::move(db.value()) : nullptr;
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
