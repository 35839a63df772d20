#include "DocumentIndexService.h"

#include <QMetaObject>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace qs {

DocumentIndexService::DocumentIndexService(Database &db, QObject *parent)
    : QObject(parent), m_db(db)
{
    m_db.setChangeListener([this](const QString &table, qint64 key) { onChanged(table, key); });
    m_db.setOtherWriterListener(
        [this](const Database::OtherWrites &writes) { onOtherWrites(writes); });
}

DocumentIndexService::~DocumentIndexService()
{
    m_db.setChangeListener({});
    m_db.setOtherWriterListener({});
    if (m_loader.joinable())
        m_loader.join();
}

void DocumentIndexService::start()
{
    if (!m_loading)
        startLoad();
}

void DocumentIndexService::startLoad()
{
    if (m_loader.joinable())
        m_loader.join();
    m_loading = true;
    m_stale = false;
    m_pendingKeys.clear();
    m_dataVersion = m_db.dataVersion();
    m_expectedGeneration = m_db.writeGeneration();
    DatabaseOpener open = m_db.opener();
    m_loader = std::thread([this, open = std::move(open)] {
        std::unique_ptr<DocumentIndex> loaded;
        // A connection of its own: connections are not shared between
        // threads here. On a server the rows arrive streamed.
        if (auto db = open()) {
            if (auto index = DocumentIndex::load(*db.value()))
                loaded = std::move(index.value());
        }
#if defined(__GLIBC__)
        // Give back what the load held only for a while (batches, sort keys,
        // the room of grown arrays) rather than keep it as free heap.
        malloc_trim(0);
#endif
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_loaded = std::move(loaded);
        }
        QMetaObject::invokeMethod(this, &DocumentIndexService::install, Qt::QueuedConnection);
    });
}

void DocumentIndexService::install()
{
    if (!m_loading)
        return;
    if (m_loader.joinable())
        m_loader.join();
    m_loading = false;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_index = std::move(m_loaded);
    }
    m_failed = m_index == nullptr;
    if (!m_index)
        return;
    // What this program wrote while the load ran.
    for (const qint64 key : m_pendingKeys)
        if (!m_index->refreshRow(m_db, key)) {
            m_index.reset();
            return;
        }
    m_pendingKeys.clear();
    m_expectedGeneration = m_db.writeGeneration();
    Q_EMIT ready();
}

void DocumentIndexService::waitUntilReady()
{
    if (m_loading)
        install();
}

void DocumentIndexService::onChanged(const QString &table, qint64 key)
{
    if (table.compare(QLatin1String("Documents"), Qt::CaseInsensitive) != 0) {
        if (m_expectedGeneration + 1 == m_db.writeGeneration())
            m_expectedGeneration = m_db.writeGeneration();
        return;
    }
    if (m_loading) {
        m_pendingKeys.push_back(key);
        return;
    }
    if (!m_index)
        return;
    if (!m_index->refreshRow(m_db, key)) {
        m_index.reset();
        return;
    }
    m_expectedGeneration = m_db.writeGeneration();
}

void DocumentIndexService::onOtherWrites(const Database::OtherWrites &writes)
{
    if (writes.unknown) {
        // Read everything again; SQL answers meanwhile.
        m_index.reset();
        m_stale = true;
        if (!m_loading && !m_failed)
            startLoad();
    } else if (m_loading) {
        // The load may have read them before they changed.
        m_pendingKeys.insert(m_pendingKeys.end(), writes.documents.begin(), writes.documents.end());
    } else if (m_index) {
        for (const qint64 key : writes.documents)
            if (!m_index->refreshRow(m_db, key)) {
                m_index.reset();
                break;
            }
    }
    Q_EMIT changedElsewhere();
}

bool DocumentIndexService::select(const DocumentQuery &query, std::vector<qint64> &keys)
{
    if (m_loading || m_failed)
        return false;
    const bool otherWriter = m_db.dataVersion() != m_dataVersion;
    const bool unknownOwnWrite = m_db.writeGeneration() != m_expectedGeneration;
    if (!m_index || otherWriter || unknownOwnWrite || m_stale) {
        // Catch up in the background; SQL answers meanwhile.
        m_index.reset();
        startLoad();
        return false;
    }
    m_index->select(query, keys);
    return true;
}

} // namespace qs
