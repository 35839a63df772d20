#pragma once

#include <QList>
#include <QString>

namespace qs {

class Database;

struct EditorBenchFigure
{
    QString name;
    double medianMs = 0;
    int runs = 0;
};

// Times the editor's two costly steps on `db` as it stands, for the
// benchmark program: one completion each for 3-, 4- and 6-letter prefixes of
// stored descriptions, and one save of an existing record (duplicate test,
// the six field assignments and Update). Each saved record is written back
// with the values it had. Returns the median of `runs` samples of each.
QList<EditorBenchFigure> runEditorBench(Database &db, int runs = 101);

} // namespace qs
