#pragma once

#include "store/ListSource.h"

#include <QDate>
#include <QString>

#include <memory>
#include <optional>

namespace qs {

class DocumentIndexService;

enum class ListOrder { IdDescending, Description, Id };

// The list order named by a saved or chosen order clause. Only the three
// known clauses (letter case and outer blanks ignored) are honoured; any
// other text orders by number, highest first. The text never reaches SQL.
ListOrder orderFromClause(const QString &clause);
QString clauseFromOrder(ListOrder order);

// Entries of the date filter list, by position.
enum DateEntry { DateAll = 0, Last30 = 1, Last60 = 2, Last90 = 3, LastYear = 4, NoDate = 5 };

// Everything that chooses and orders the main list: the filter controls'
// contents and the order. A value, so the report can run the same list.
struct DocumentQuery
{
    bool filterOn = false;
    QString description; // the boxes' texts, blanks trimmed by the builder
    QString who;
    QString note;
    int dateEntry = DateAll; // -1: nothing selected
    qint16 typeKey = 0;      // 0: "ALL" or no selection
    QDate today;             // the clock's date when the query was built
    ListOrder order = ListOrder::IdDescending;

    bool operator==(const DocumentQuery &) const = default;
};

// The oldest date a date filter entry lets through is the day after this
// threshold (documents strictly later than today minus the entry's days).
std::optional<QDate> dateThreshold(int dateEntry, const QDate &today);

// The query as the SQL that selects it, every value bound.
class DocumentListSource : public ListSource
{
public:
    // `index` answers from memory when it can; SQL answers otherwise.
    explicit DocumentListSource(DocumentQuery query, std::weak_ptr<DocumentIndexService> index = {})
        : m_query(std::move(query)), m_index(std::move(index))
    {
    }

    const DocumentQuery &query() const { return m_query; }
    QString table() const override;
    Statement keyStatement(SqlDialect dialect) const override;
    Statement statement(SqlDialect dialect) const override;
    bool keysFromMemory(Database &db, std::vector<qint64> &keys) const override;

    // WHERE condition (empty for none) and ORDER BY list.
    Statement whereClause(SqlDialect dialect) const;
    QString orderBy(SqlDialect dialect) const;
    // The same selection with the given columns (written by the program, never user text).
    Statement select(SqlDialect dialect, const QString &columns) const;

private:
    DocumentQuery m_query;
    std::weak_ptr<DocumentIndexService> m_index;
};

} // namespace qs
