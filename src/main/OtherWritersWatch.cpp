#include "OtherWritersWatch.h"

#include <QSocketNotifier>
#include <QTimer>

namespace qs {

OtherWritersWatch::OtherWritersWatch(Database &db, std::function<bool()> idle, QObject *parent)
    : QObject(parent), m_db(db), m_idle(std::move(idle)), m_timer(new QTimer(this))
{
    m_timer->setInterval(kIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &OtherWritersWatch::poll);
    m_timer->start();
    followSocket();
}

void OtherWritersWatch::poll()
{
    if (m_idle && !m_idle())
        return;
    m_db.pollOtherWriters();
    followSocket();
    if (m_notifier)
        m_notifier->setEnabled(true);
}

void OtherWritersWatch::readable()
{
    if (m_idle && !m_idle()) {
        // Quiet until the next idle poll, which reads what is waiting.
        m_notifier->setEnabled(false);
        return;
    }
    poll();
}

// The socket goes with a lost connection, and a new one comes with the next.
void OtherWritersWatch::followSocket()
{
    const int socket = m_db.otherWriterSocket();
    if (socket == m_socket)
        return;
    if (m_notifier) {
        m_notifier->setEnabled(false);
        m_notifier->deleteLater();
        m_notifier = nullptr;
    }
    m_socket = socket;
    if (socket < 0)
        return;
    m_notifier = new QSocketNotifier(socket, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &OtherWritersWatch::readable);
}

} // namespace qs
