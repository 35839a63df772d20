#include "Session.h"

#include "main/DocumentIndexService.h"
#include "store/DataFiles.h"
#include "store/DatabaseFile.h"
#include "store/Schema.h"
#include "store/SqliteDatabase.h"

#include <QDir>
#include <QFileInfo>

namespace qs {

Session::Session() = default;

Session::~Session()
{
    // The index listens to the database; it must let go first.
    m_index.reset();
}

void Session::useServer(const QString &conninfo, const QString &copyFrom, CopyProgress progress)
{
    m_onServer = true;
    m_conninfo = conninfo;
    m_copyFrom = copyFrom;
    m_copyProgress = std::move(progress);
}

QString Session::displayName() const
{
    if (!m_onServer)
        return QStringLiteral("\"%1\"").arg(schema::DatabaseFile);
    return m_db ? m_db->path() : QStringLiteral("database on the server");
}

Status Session::openServer()
{
    // A file that cannot be copied is found out before the server is touched.
    if (!m_copyFrom.isEmpty()) {
        if (!QFileInfo::exists(m_copyFrom))
            return Status::failure(QStringLiteral("The database file \"%1\" to copy to the server "
                                                  "does not exist. Nothing has been changed.")
                                       .arg(QDir::toNativeSeparators(m_copyFrom)));
        if (Status s = checkDocumentDatabase(m_copyFrom); !s)
            return s;
    }
    // A copied file brings its own documents: no legacy import beside it.
    auto opened = openServerDatabase(m_conninfo, m_copyFrom.isEmpty() ? m_fill : nullptr);
    if (!opened)
        return Status::failure(opened.error());
    if (!m_copyFrom.isEmpty())
        if (Status s = copyFileToServer(m_copyFrom, *opened->db, m_copyProgress); !s)
            return s;
    m_created = opened->created;
    adopt(std::move(opened->db));
    return Status::success();
}

Status Session::open()
{
    if (m_onServer)
        return openServer();
    auto opened =
        openOrCreateDatabase(schema::DatabaseFile, findDataFile(schema::TemplateFile), m_fill);
    if (!opened)
        return Status::failure(opened.error());
    m_created = opened->created;
    adopt(std::move(opened->db));
    return Status::success();
}

void Session::adopt(std::unique_ptr<Database> db)
{
    m_index.reset();
    m_db = std::move(db);
    if (m_db)
        m_index = std::make_shared<DocumentIndexService>(*m_db);
}

} // namespace qs
