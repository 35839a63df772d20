#include "EditorBench.h"

#include "editor/RecordSave.h"
#include "store/Completion.h"
#include "store/Database.h"
#include "store/ListSource.h"
#include "store/Recordset.h"
#include "store/Schema.h"

#include <QElapsedTimer>

#include <algorithm>
#include <vector>

namespace qs {

namespace {

double median(std::vector<double> samples)
{
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

double elapsedMs(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

QList<EditorBenchFigure> runEditorBench(Database &db, int runs)
{
    QList<EditorBenchFigure> figures;
    auto list = db.openDynaset(std::make_shared<SqlListSource>(
        schema::Documents, QString(), QVariantList(), QStringLiteral("RecordPtr")));
    const int count = list->rowCount();
    if (count == 0 || runs <= 0)
        return figures;
    // Rows spread evenly over the table.
    std::vector<int> rows;
    for (int i = 0; i < runs; ++i)
        rows.push_back(int(qint64(i) * count / runs));

    auto descriptions = db.openTable(schema::Documents);
    if (!descriptions->setIndex(schema::IndexDescription))
        return figures;
    for (const int letters : {3, 4, 6}) {
        std::vector<double> samples;
        for (const int row : rows) {
            const QString text = list->valueAt(row, QStringLiteral("Description")).toString();
            if (text.size() < letters)
                continue;
            const QString prefix = text.left(letters);
            QElapsedTimer timer;
            timer.start();
            CompleteDescription(*descriptions, prefix, int(prefix.size()), 0);
            samples.push_back(elapsedMs(timer));
        }
        figures.append({QStringLiteral("completion, %1-letter prefix").arg(letters),
                        median(samples), int(samples.size())});
    }

    std::vector<double> samples;
    const QStringList fields = {QStringLiteral("ID"),   QStringLiteral("Description"),
                                QStringLiteral("Date"), QStringLiteral("DocumentType"),
                                QStringLiteral("Who"),  QStringLiteral("Note")};
    for (const int row : rows) {
        list->setAbsolutePosition(row);
        if (!list->edit())
            continue;
        QVariantList values;
        for (const QString &field : fields)
            values << list->value(field);
        const qint64 recordPtr = list->value(QStringLiteral("RecordPtr")).toLongLong();
        QElapsedTimer timer;
        timer.start();
        const auto duplicate = fnDuplicateID(db, qint32(values[0].toInt()), recordPtr);
        bool set = true;
        for (int i = 0; i < fields.size(); ++i)
            set = list->setValue(fields[i], values[i]) && set;
        const Status saved = set ? list->update() : Status::failure(QString());
        const double ms = elapsedMs(timer);
        if (!saved) {
            list->cancelUpdate();
            continue;
        }
        if (duplicate.ok())
            samples.push_back(ms);
    }
    figures.append(
        {QStringLiteral("save (duplicate test and Update)"), median(samples), int(samples.size())});
    return figures;
}

} // namespace qs
