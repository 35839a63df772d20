#pragma once

#include "store/Status.h"

#include <QString>

#include <functional>
#include <string>
#include <string_view>

namespace qs {

class Database;
class DocumentListSource;

// Appends one CSV field (RFC 4180). A field that holds a comma, a quote or a line break, or
// that starts or ends with a blank (which spreadsheet programs would drop), is quoted, its
// quotes doubled; any other field is written as it is.
void appendCsvField(std::string &out, std::string_view utf8);

// Told the number of rows written so far, after every `kCsvProgressStep` rows; returning
// false cancels the export.
using CsvProgress = std::function<bool(qint64 rows)>;
inline constexpr qint64 kCsvProgressStep = 4096;

struct CsvExportOutcome
{
    qint64 rows = 0;
    bool cancelled = false;
};

// Writes the documents that `source` selects, in its order, to `path`: a header line
// "ID,Description,Type,Date,Who,Note" then one line per document, with the type's name and
// the date as yyyy-mm-dd (empty when none). UTF-8 with a byte-order mark, so spreadsheet
// programs read accents right, and CR LF line ends. The file is replaced only when the whole
// export has been written: a failure or a cancel leaves an earlier file as it was.
Result<CsvExportOutcome> exportDocumentsCsv(Database &db, const DocumentListSource &source,
                                            const QString &path, const CsvProgress &progress = {});

} // namespace qs
