#include "Recordsets.h"
#include "Schema.h"

#include <QDate>
#include <QRegularExpression>

#include <algorithm>
#include <unordered_set>

namespace qs {

namespace {

// Rows fetched around the one asked for, so a grid page costs one query.
constexpr int kFetchBefore = 16;
constexpr int kFetchAfter = 48;
constexpr size_t kCacheLimit = 4096;

QString asciiFolded(const QString &s)
{
    QString out = s;
    for (QChar &c : out)
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + 32);
    return out;
}

bool isKeyField(const QString &field)
{
    return field.compare(schema::RecordPtr, Qt::CaseInsensitive) == 0;
}

const Row &emptyRow()
{
    static const Row row;
    return row;
}

} // namespace

bool sameValue(const QVariant &a, const QVariant &b)
{
    if (a.isNull() || b.isNull())
        return false;
    if (a.typeId() == QMetaType::QString || b.typeId() == QMetaType::QString)
        return asciiFolded(a.toString()) == asciiFolded(b.toString());
    if (a.typeId() == QMetaType::QDate || b.typeId() == QMetaType::QDate)
        return a.toDate() == b.toDate();
    return a == b;
}

// ---------------------------------------------------------------- keyset

KeysetRecordset::KeysetRecordset(Database &db, std::shared_ptr<const ListSource> source,
                                 bool readOnly)
    : Recordset(db), m_source(std::move(source)), m_readOnly(readOnly)
{
    m_lastError = requery();
}

Status KeysetRecordset::readKeys(std::vector<qint64> &keys) const
{
    if (m_source->keysFromMemory(m_db, keys))
        return Status::success();
    keys.clear();
    return m_db.queryKeys(m_source->keyStatement(m_db.dialect()), keys);
}

Status KeysetRecordset::requery()
{
    cancelUpdate();
    std::vector<qint64> keys;
    const Status status = readKeys(keys);
    // A failed query leaves what the list showed, so the user keeps the list.
    if (status.ok())
        m_keys = std::move(keys);
    m_cache.clear();
    m_onDeleted = false;
    m_pos = 0;
    m_noMatch = false;
    if (m_observer) {
        m_observer->reset();
        m_observer->currentChanged(absolutePosition());
    }
    return status;
}

Status KeysetRecordset::requeryInPlace(int *keptRow)
{
    std::vector<qint64> keys;
    if (Status s = readKeys(keys); !s)
        return s;
    const auto keyAt = [this](int row) {
        return row >= 0 && row < int(m_keys.size()) ? m_keys[size_t(row)] : 0;
    };
    // A record that is gone leaves its row to the next one (the last row
    // when it was the last).
    const auto placeOf = [&keys](qint64 key, int row) {
        const auto it = key ? std::find(keys.begin(), keys.end(), key) : keys.end();
        if (it != keys.end())
            return int(it - keys.begin());
        return keys.empty() ? 0 : std::clamp(row, 0, int(keys.size()) - 1);
    };
    const int current = placeOf(keyAt(absolutePosition()), m_pos);
    if (keptRow)
        *keptRow = placeOf(keyAt(*keptRow), *keptRow);
    m_keys = std::move(keys);
    m_cache.clear();
    m_onDeleted = false;
    m_pos = current;
    if (m_observer) {
        m_observer->reset();
        m_observer->currentChanged(absolutePosition());
    }
    return Status::success();
}

bool KeysetRecordset::eof() const
{
    return !m_onDeleted && m_pos >= int(m_keys.size());
}

bool KeysetRecordset::bof() const
{
    return !m_onDeleted && (m_pos < 0 || m_keys.empty());
}

int KeysetRecordset::absolutePosition() const
{
    return hasCurrent() && !m_onDeleted ? m_pos : -1;
}

void KeysetRecordset::setPosition(int pos, bool onDeleted)
{
    const int before = absolutePosition();
    m_pos = std::clamp(pos, -1, int(m_keys.size()));
    m_onDeleted = onDeleted;
    if (m_observer && absolutePosition() != before)
        m_observer->currentChanged(absolutePosition());
}

void KeysetRecordset::setAbsolutePosition(int row)
{
    if (row >= 0 && row < int(m_keys.size()))
        setPosition(row);
}

void KeysetRecordset::moveFirst()
{
    setPosition(0);
}

void KeysetRecordset::moveLast()
{
    setPosition(int(m_keys.size()) - 1);
}

void KeysetRecordset::moveNext()
{
    setPosition(m_onDeleted ? m_pos : m_pos + 1);
}

void KeysetRecordset::movePrevious()
{
    setPosition(m_pos - 1);
}

bool KeysetRecordset::findFirst(const QString &field, const QVariant &value)
{
    int found = -1;
    if (isKeyField(field)) {
        const qint64 key = value.toLongLong();
        const auto it = std::find(m_keys.begin(), m_keys.end(), key);
        if (it != m_keys.end())
            found = int(it - m_keys.begin());
    } else {
        // One keyed query for the matching rows, then the first in list order.
        std::vector<qint64> matches;
        QString name = field;
        name.remove(QRegularExpression(QStringLiteral("[^A-Za-z0-9_]")));
        const Status s = m_db.queryKeys(
            {QStringLiteral("SELECT RecordPtr FROM %1 WHERE %2")
                 .arg(m_source->table(), sql::compare(m_db.dialect(), name, QStringLiteral("="))),
             {value}},
            matches);
        if (s.ok() && !matches.empty()) {
            const std::unordered_set<qint64> set(matches.begin(), matches.end());
            for (size_t i = 0; i < m_keys.size(); ++i)
                if (set.count(m_keys[i])) {
                    found = int(i);
                    break;
                }
        }
    }
    m_noMatch = found < 0;
    if (found >= 0)
        setPosition(found);
    return found >= 0;
}

void KeysetRecordset::dropStaleCache() const
{
    if (m_cacheGeneration != m_db.writeGeneration()) {
        m_cache.clear();
        m_cacheGeneration = m_db.writeGeneration();
    }
}

void KeysetRecordset::fetchAround(int row) const
{
    if (m_cache.size() > kCacheLimit)
        m_cache.clear();
    const int from = std::max(0, row - kFetchBefore);
    const int to = std::min(int(m_keys.size()), row + kFetchAfter);
    QVariantList wanted;
    for (int i = from; i < to; ++i)
        if (!m_cache.count(m_keys[size_t(i)]))
            wanted << m_keys[size_t(i)];
    if (wanted.isEmpty())
        return;
    const QStringList marks(wanted.size(), QStringLiteral("?"));
    auto rows = m_db.query({QStringLiteral("SELECT * FROM %1 WHERE RecordPtr IN (%2)")
                                .arg(m_source->table(), marks.join(QLatin1Char(','))),
                            wanted});
    if (!rows)
        return;
    for (Row &r : *rows)
        m_cache[r.value(schema::RecordPtr).toLongLong()] = std::move(r);
    // Rows that another copy deleted read as empty.
    for (const QVariant &key : std::as_const(wanted))
        m_cache.try_emplace(key.toLongLong(), Row());
}

const Row &KeysetRecordset::rowAt(int row) const
{
    if (row < 0 || row >= int(m_keys.size()))
        return emptyRow();
    dropStaleCache();
    const qint64 key = m_keys[size_t(row)];
    auto it = m_cache.find(key);
    if (it == m_cache.end()) {
        fetchAround(row);
        it = m_cache.find(key);
        if (it == m_cache.end())
            return emptyRow();
    }
    return it->second;
}

Row KeysetRecordset::currentRow() const
{
    if (m_onDeleted || !hasCurrent())
        return {};
    return rowAt(m_pos);
}

QVariant KeysetRecordset::valueAt(int row, const QString &field)
{
    return rowAt(row).value(field);
}

void KeysetRecordset::afterInsert(qint64 key)
{
    // New rows join the end of the set; the current row stays current.
    m_keys.push_back(key);
    if (m_observer)
        m_observer->rowInserted(int(m_keys.size()) - 1);
}

void KeysetRecordset::afterUpdate(qint64 key)
{
    m_cache.erase(key);
    const auto it = std::find(m_keys.begin(), m_keys.end(), key);
    if (m_observer && it != m_keys.end())
        m_observer->rowChanged(int(it - m_keys.begin()));
}

void KeysetRecordset::afterDelete()
{
    // The deleted row stays current until the caller moves off it.
    const int pos = m_pos;
    m_cache.erase(m_keys[size_t(pos)]);
    m_keys.erase(m_keys.begin() + pos);
    m_pos = pos;
    m_onDeleted = true;
    if (m_observer) {
        m_observer->rowRemoved(pos);
        m_observer->currentChanged(-1);
    }
}

// ---------------------------------------------------------------- table

TableRecordset::TableRecordset(Database &db, QString table)
    : Recordset(db), m_table(std::move(table))
{
    moveFirst();
}

QString TableRecordset::orderBy(bool forward) const
{
    const SqlDialect d = m_db.dialect();
    const QString key = sql::orderTerm(d, schema::RecordPtr, !forward);
    if (isKeyField(m_indexColumn))
        return key;
    return sql::orderTerm(d, m_indexColumn, !forward) + QStringLiteral(", ") + key;
}

void TableRecordset::place(Result<Rows> rows, bool forward)
{
    m_ahead.clear();
    if (rows && !rows->empty()) {
        m_row = rows->front();
        m_eof = m_bof = false;
        if (forward && rows->size() > 1) {
            // Kept in reverse, so the next row is at the back.
            m_ahead.assign(std::make_move_iterator(rows->rbegin()),
                           std::make_move_iterator(rows->rend() - 1));
            m_aheadGeneration = m_db.writeGeneration();
        }
    } else {
        m_row = {};
        m_eof = forward;
        m_bof = !forward;
    }
}

Status TableRecordset::requery()
{
    moveFirst();
    return Status::success();
}

void TableRecordset::moveFirst()
{
    place(m_db.query(
              {QStringLiteral("SELECT * FROM %1 ORDER BY %2 LIMIT 1").arg(m_table, orderBy(true)),
               {}}),
          true);
    if (m_row.isEmpty())
        m_bof = true;
}

void TableRecordset::moveLast()
{
    place(m_db.query(
              {QStringLiteral("SELECT * FROM %1 ORDER BY %2 LIMIT 1").arg(m_table, orderBy(false)),
               {}}),
          false);
    if (m_row.isEmpty())
        m_eof = true;
}

void TableRecordset::step(bool forward)
{
    if ((forward && m_eof) || (!forward && m_bof))
        return;
    if (m_row.isEmpty()) {
        // Before the first or after the last row: step onto the edge row.
        forward ? moveFirst() : moveLast();
        return;
    }
    if (forward && !m_ahead.empty() && m_aheadGeneration == m_db.writeGeneration()) {
        m_row = std::move(m_ahead.back());
        m_ahead.pop_back();
        return;
    }
    const QVariant key = m_row.value(schema::RecordPtr);
    const QVariant col = m_row.value(m_indexColumn);
    const char *cmp = forward ? ">" : "<";
    Statement st;
    if (isKeyField(m_indexColumn)) {
        st = {QStringLiteral("SELECT * FROM %1 WHERE RecordPtr %2 ? ORDER BY %3 LIMIT 32")
                  .arg(m_table, QLatin1String(cmp), orderBy(forward)),
              {key}};
    } else if (col.isNull()) {
        // Nulls come first in index order.
        st = {forward
                  ? QStringLiteral("SELECT * FROM %1 WHERE (%2 IS NULL AND RecordPtr > ?) OR %2 "
                                   "IS NOT NULL ORDER BY %3 LIMIT 32")
                  : QStringLiteral("SELECT * FROM %1 WHERE %2 IS NULL AND RecordPtr < ? ORDER BY "
                                   "%3 LIMIT 32"),
              {key}};
        st.sql = st.sql.arg(m_table, m_indexColumn, orderBy(forward));
    } else {
        const SqlDialect d = m_db.dialect();
        const QString more =
            forward ? QString() : QStringLiteral(" OR %1 IS NULL").arg(m_indexColumn);
        const QString value =
            sql::isTextField(m_indexColumn) ? sql::textValue(d) : QStringLiteral("?");
        st = {QStringLiteral(
                  "SELECT * FROM %1 WHERE (%2, RecordPtr) %3 (%4, ?)%5 ORDER BY %6 LIMIT 32")
                  .arg(m_table, sql::key(d, m_indexColumn), QLatin1String(cmp), value, more,
                       orderBy(forward)),
              {col, key}};
    }
    place(m_db.query(st), forward);
}

void TableRecordset::moveNext()
{
    step(true);
}

void TableRecordset::movePrevious()
{
    step(false);
}

int TableRecordset::recordCount()
{
    auto rows = m_db.query({QStringLiteral("SELECT COUNT(*) FROM %1").arg(m_table), {}});
    return rows && !rows->empty() ? rows->front().values.value(0).toInt() : 0;
}

bool TableRecordset::findFirst(const QString &field, const QVariant &value)
{
    QString name = field;
    name.remove(QRegularExpression(QStringLiteral("[^A-Za-z0-9_]")));
    auto rows = m_db.query(
        {QStringLiteral("SELECT * FROM %1 WHERE %2 ORDER BY %3 LIMIT 1")
             .arg(m_table, sql::compare(m_db.dialect(), name, QStringLiteral("=")), orderBy(true)),
         {value}});
    m_noMatch = !rows || rows->empty();
    if (!m_noMatch)
        place(std::move(rows), true);
    return !m_noMatch;
}

Status TableRecordset::setIndex(const QString &name)
{
    static const QStringList known = {QStringLiteral("RecordPtr"), QStringLiteral("Description"),
                                      QStringLiteral("Who"), QStringLiteral("ID"),
                                      QStringLiteral("Type")};
    for (const QString &k : known)
        if (k.compare(name, Qt::CaseInsensitive) == 0) {
            m_indexColumn = k;
            moveFirst();
            return Status::success();
        }
    return Status::failure(QStringLiteral("'%1' is not an index of this table.").arg(name));
}

Status TableRecordset::seek(SeekOp op, const QVariant &key)
{
    const QString cmp = op == SeekOp::Equal ? QStringLiteral("=") : QStringLiteral(">");
    auto rows = m_db.query(
        {QStringLiteral("SELECT * FROM %1 WHERE %2 ORDER BY %3 LIMIT %4")
             .arg(m_table, sql::compare(m_db.dialect(), m_indexColumn, cmp), orderBy(true),
                  op == SeekOp::Equal ? QStringLiteral("1") : QStringLiteral("32")),
         {key}});
    if (!rows)
        return Status::failure(rows.error());
    m_noMatch = rows->empty();
    place(std::move(rows), true);
    return Status::success();
}

void TableRecordset::afterUpdate(qint64 key)
{
    auto rows =
        m_db.query({QStringLiteral("SELECT * FROM %1 WHERE RecordPtr = ?").arg(m_table), {key}});
    if (rows && !rows->empty())
        m_row = rows->front();
}

void TableRecordset::afterDelete()
{
    m_row = {};
    m_ahead.clear();
}

// ---------------------------------------------------------------- snapshot

SnapshotRecordset::SnapshotRecordset(Database &db, Statement statement)
    : Recordset(db), m_statement(std::move(statement))
{
    m_lastError = requery();
}

Status SnapshotRecordset::requery()
{
    auto rows = m_db.query(m_statement);
    m_pos = 0;
    if (!rows) {
        m_rows.clear();
        return Status::failure(rows.error());
    }
    m_rows = std::move(*rows);
    return Status::success();
}

bool SnapshotRecordset::findFirst(const QString &field, const QVariant &value)
{
    for (size_t i = 0; i < m_rows.size(); ++i)
        if (sameValue(m_rows[i].value(field), value)) {
            m_pos = int(i);
            m_noMatch = false;
            return true;
        }
    m_noMatch = true;
    return false;
}

QVariant SnapshotRecordset::valueAt(int row, const QString &field)
{
    return row >= 0 && row < int(m_rows.size()) ? m_rows[size_t(row)].value(field) : QVariant();
}

// ---------------------------------------------------------------- opening

std::unique_ptr<Recordset> Database::openTable(const QString &table)
{
    return std::make_unique<TableRecordset>(*this, table);
}

std::unique_ptr<Recordset> Database::openSnapshot(const Statement &statement)
{
    return std::make_unique<SnapshotRecordset>(*this, statement);
}

std::unique_ptr<Recordset> Database::openDynaset(std::shared_ptr<const ListSource> source,
                                                 bool readOnly)
{
    return std::make_unique<KeysetRecordset>(*this, std::move(source), readOnly);
}

} // namespace qs
