#pragma once

#include "main/DocumentIndex.h"

#include <QObject>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

namespace qs {

// Keeps a DocumentIndex in step with the database. It loads off the user
// interface thread (the SQL path serves until it is ready), takes this
// program's own writes at once, and hears what other copies of the program
// (or any other connection) wrote whenever the database is polled for it:
// row by row when the engine names the rows (a server), by a reload in the
// background when it cannot (the file).
class DocumentIndexService : public QObject
{
    Q_OBJECT
public:
    explicit DocumentIndexService(Database &db, QObject *parent = nullptr);
    ~DocumentIndexService() override;

    // Starts loading in the background.
    void start();
    // Blocks until a load under way has finished and is in use.
    void waitUntilReady();
    bool isReady() const { return m_index != nullptr; }
    Database &database() const { return m_db; }

    // The query's keys from memory; false when the index cannot answer now
    // (still loading, or catching up with another program's writes).
    bool select(const DocumentQuery &query, std::vector<qint64> &keys);

Q_SIGNALS:
    void ready();
    // Another connection wrote documents, and the index has taken it in (or
    // is reading everything again): lists over it are out of date.
    void changedElsewhere();

private:
    void onChanged(const QString &table, qint64 key);
    void onOtherWrites(const Database::OtherWrites &writes);
    void install();
    void startLoad();

    Database &m_db;
    std::unique_ptr<DocumentIndex> m_index;
    quint64 m_expectedGeneration = 0;
    qint64 m_dataVersion = 0;
    bool m_failed = false;
    bool m_stale = false; // others wrote rows the index cannot name

    // The background load.
    std::thread m_loader;
    std::atomic<bool> m_loading{false};
    std::mutex m_mutex;
    std::unique_ptr<DocumentIndex> m_loaded; // guarded by m_mutex
    std::vector<qint64> m_pendingKeys;       // own writes made while loading
};

} // namespace qs
