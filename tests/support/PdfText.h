#pragma once

// What a PDF file says, read back with poppler's tools.

#include <QString>

namespace qs::test {

// The text of every page, laid out as on the page; empty when the tool is missing.
QString pdfText(const QString &path);
// The number of pages, or -1.
int pdfPages(const QString &path);

} // namespace qs::test
