#pragma once

#include "reports/PrintSurface.h"

#include <QStringList>
#include <QVariant>

#include <array>
#include <optional>

namespace qs {

// One column of the table writer. A blank slot (Width 0) is skipped by every operation.
struct ColumnDef
{
    // Left edge of a left-aligned column, right edge of a right-aligned one.
    qint16 Position = 0;
    // Measured with digits; cells and headers end at Position.
    bool RightAligned = false;
    // Texts of header lines 1 to 3; element 0 is not used.
    std::array<QString, 4> Header;
    // Width in characters.
    qint16 Width = 0;
    // Order of definition from 1; columns run left to right in this order.
    qint16 Sequence = 0;
};

inline constexpr int kColumnSlots = 40;

// Lays a report out as a table of text columns on a print surface: up to 40 columns placed
// across the page from the printed widths of sample strings, a title line, three header lines
// (the last underlined), aligned cells and line ends, and the page-full test. Starting the
// document is its job; new pages and the end of the document are the caller's. Failures are
// thrown as ReportError.
class modReports
{
public:
    // Sets half-inch margins, starts the document and puts the font to Arial at the given size
    // (10 points when none is given). The orientation is left to the surface.
    void StartReport(const QString &orientation, PrintSurface &surface,
                     std::optional<float> fontSize = std::nullopt);
    void ClearColumns();
    // slot 1 to 40; a negative width makes a right-aligned column measured with digits. Up to
    // three header texts, placed at the bottom of the three header lines. Defining a slot again
    // moves it to the right-hand end.
    void DefineColumn(int slot, int width, const QStringList &headers = {});
    void LayoutColumns(bool fill = true);
    void PrintTitleLine(const QString &left, const QString &centre, const QString &right);
    void PrintHeaders();
    // An empty value prints nothing; trailing blanks are dropped, leading ones kept. A cell
    // wider than its room ends in "…" (a right-aligned one begins with it): a left-aligned cell
    // reaches up to the next column less the gap, or the right margin; a right-aligned one back
    // to the previous column plus the gap, or the left margin.
    void PrintCell(int slot, const QVariant &value, bool currency = false, bool emphasis = false);
    void NewLine();
    bool fnNeedPageBreak() const;
    void PrintAt(double x, const QString &text);
    float fnSampleWidth(int width, bool rightAligned) const;
    double fnPageWidth() const;

    const ColumnDef &Column(int slot) const;
    qint16 columnsDefined() const { return ColumnsDefined; }

private:
    PrintSurface &printer() const;

    PrintSurface *ReportPrinter = nullptr;
    // Slot 0 stays blank: it is what ClearColumns copies into the others.
    std::array<ColumnDef, kColumnSlots + 1> Columns;
    qint16 ColumnsDefined = 0;
    // Set by LayoutColumns for every placed column: how far its cells may reach, to the right of
    // a left-aligned column, to the left of a right-aligned one. NaN: no limit.
    std::array<double, kColumnSlots + 1> m_cellLimits{};
};

} // namespace qs
