#include "DataControl.h"

#include "Recordsets.h"

namespace qs {

class DataControl::Forwarder final : public RecordsetObserver
{
public:
    explicit Forwarder(DataControl &owner) : m_owner(owner) {}
    void currentChanged(int row) override { Q_EMIT m_owner.currentChanged(row); }
    void rowChanged(int row) override { Q_EMIT m_owner.rowChanged(row); }
    void rowInserted(int row) override { Q_EMIT m_owner.rowInserted(row); }
    void rowRemoved(int row) override { Q_EMIT m_owner.rowRemoved(row); }
    void reset() override { Q_EMIT m_owner.reset(); }

private:
    DataControl &m_owner;
};

DataControl::DataControl(QObject *parent)
    : QObject(parent), m_forwarder(std::make_unique<Forwarder>(*this))
{
}

DataControl::~DataControl()
{
    if (m_recordset)
        m_recordset->setObserver(nullptr);
}

Status DataControl::refresh()
{
    if (!m_db || !m_source)
        return Status::failure(QStringLiteral("The list has no database or no record source."));
    if (m_recordset) {
        // The record set is re-run in place, so that whoever holds it (the
        // editor adopts it) keeps a valid one.
        auto *keyset = dynamic_cast<KeysetRecordset *>(m_recordset.get());
        if (keyset && &keyset->source() == m_source.get())
            return m_recordset->requery();
    }
    auto recordset = m_db->openDynaset(m_source);
    if (auto *keyset = dynamic_cast<KeysetRecordset *>(recordset.get());
        keyset && !keyset->lastError())
        return keyset->lastError();
    if (m_recordset)
        m_recordset->setObserver(nullptr);
    m_recordset = std::move(recordset);
    m_recordset->setObserver(m_forwarder.get());
    Q_EMIT reset();
    Q_EMIT currentChanged(m_recordset->absolutePosition());
    return Status::success();
}

Status DataControl::refreshInPlace(int *keptRow)
{
    auto *keyset = dynamic_cast<KeysetRecordset *>(m_recordset.get());
    if (!keyset || &keyset->source() != m_source.get())
        return refresh();
    return keyset->requeryInPlace(keptRow);
}

} // namespace qs
