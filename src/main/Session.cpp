#include "Session.h"

#include "main/DocumentIndexService.h"
#include "store/DataFiles.h"
#include "store/DatabaseFile.h"
#include "store/Schema.h"

namespace qs {

Session::Session() = default;

Session::~Session()
{
    // The index listens to the database; it must let go first.
    m_index.reset();
}

Status Session::open()
{
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
