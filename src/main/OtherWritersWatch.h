#pragma once

#include "store/Database.h"

#include <QObject>

#include <functional>

class QSocketNotifier;
class QTimer;

namespace qs {

// Asks the database for other connections' writes while the program is
// idle: every few hundred milliseconds, and at once when the server's
// connection has something to read. `idle` says whether now is such a
// time; what is not asked for waits in the engine until it is.
class OtherWritersWatch : public QObject
{
    Q_OBJECT
public:
    OtherWritersWatch(Database &db, std::function<bool()> idle, QObject *parent = nullptr);

    static constexpr int kIntervalMs = 400;

private:
    void poll();
    void readable();
    void followSocket();

    Database &m_db;
    std::function<bool()> m_idle;
    QTimer *m_timer;
    QSocketNotifier *m_notifier = nullptr;
    int m_socket = -1;
};

} // namespace qs
