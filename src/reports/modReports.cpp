#include "reports/modReports.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace qs {

namespace {

const QString kArial = QStringLiteral("Arial");
constexpr double kHalfInch = 720;
// The page is full once the pen has gone past this share of the page height.
constexpr double kPageFull = 0.93;

void checkSlot(int slot)
{
    if (slot < 0 || slot > kColumnSlots)
        throw ReportError(
            QStringLiteral("Column slot %1 is outside 0 to %2.").arg(slot).arg(kColumnSlots));
}

qint16 toInt16(double value, const char *what)
{
    if (!std::isfinite(value) || value < std::numeric_limits<qint16>::min() ||
        value > std::numeric_limits<qint16>::max())
        throw ReportError(
            QStringLiteral("The report layout overflowed (%1).").arg(QLatin1String(what)));
    return static_cast<qint16>(value);
}

// Halves go to the even neighbour, as the default rounding mode does.
qint16 roundToInt16(float value, const char *what)
{
    return toInt16(std::nearbyint(static_cast<double>(value)), what);
}

void checkFinite(float value)
{
    if (!std::isfinite(value))
        throw ReportError(QStringLiteral("The report layout overflowed (column gap)."));
}

QString withoutTrailingBlanks(QString text)
{
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1) == u' ')
        --end;
    text.truncate(end);
    return text;
}

// The text as far as it fits in `room`, cut with "…" at its end, or at its start when
// `keepEnd`. The ellipsis alone not fitting leaves nothing to print.
QString fitted(const PrintSurface &p, const QString &text, double room, bool keepEnd)
{
    if (std::isnan(room) || p.textWidth(text) <= room)
        return text;
    const QString ellipsis(QChar(0x2026));
    const auto piece = [&](qsizetype n) {
        return keepEnd ? ellipsis + text.right(n) : text.left(n) + ellipsis;
    };
    if (p.textWidth(ellipsis) > room)
        return {};
    // No column holds thousands of characters; a huge value is measured only as far as that.
    qsizetype lo = 0;
    qsizetype hi = std::min<qsizetype>(text.size() - 1, 4096);
    while (lo < hi) {
        const qsizetype mid = (lo + hi + 1) / 2;
        if (p.textWidth(piece(mid)) <= room)
            lo = mid;
        else
            hi = mid - 1;
    }
    // Never half a surrogate pair.
    if (lo > 0 &&
        (keepEnd ? text.at(text.size() - lo).isLowSurrogate() : text.at(lo - 1).isHighSurrogate()))
        --lo;
    return piece(lo);
}

} // namespace

PrintSurface &modReports::printer() const
{
    if (!ReportPrinter)
        throw ReportError(QStringLiteral("No report has been started."));
    return *ReportPrinter;
}

void modReports::StartReport(const QString &orientation, PrintSurface &surface,
                             std::optional<float> fontSize)
{
    Q_UNUSED(orientation); // the page orientation is whatever the surface has
    ReportPrinter = &surface;
    surface.setMarginLeft(kHalfInch);
    surface.setMarginRight(kHalfInch);
    surface.setMarginTop(kHalfInch);
    surface.setMarginBottom(kHalfInch);
    surface.startDoc();
    surface.setPreview(true);

    if (surface.fontName().trimmed().toUpper() != QStringLiteral("ARIAL"))
        surface.setFontName(kArial);
    const float wanted = fontSize.value_or(10.0f);
    if (wanted != static_cast<float>(surface.fontSize())) {
        surface.setFontSize(wanted);
        surface.setFontName(kArial);
    }
    ClearColumns();
}

void modReports::ClearColumns()
{
    ColumnsDefined = 0;
    std::fill(Columns.begin() + 1, Columns.end(), Columns[0]);
    m_cellLimits.fill(std::numeric_limits<double>::quiet_NaN());
}

void modReports::DefineColumn(int slot, int width, const QStringList &headers)
{
    checkSlot(slot);
    if (slot == 0) // the blank record; defining it would spoil every later ClearColumns
        throw ReportError(QStringLiteral("Column slot 0 is reserved."));
    if (headers.size() > 3)
        throw ReportError(QStringLiteral("A column has at most three header lines."));
    const qint16 signedWidth = toInt16(width, "column width");
    const qint16 defined = toInt16(double(ColumnsDefined) + 1, "column count");

    ColumnDef &column = Columns[slot];
    column.Width = toInt16(std::abs(double(signedWidth)), "column width");
    column.RightAligned = signedWidth < 0;
    column.Header = {};
    const qsizetype first = 4 - headers.size();
    for (qsizetype i = 0; i < headers.size(); ++i)
        column.Header[first + i] = headers.at(i);

    ColumnsDefined = defined;
    column.Sequence = defined;
}

float modReports::fnSampleWidth(int width, bool rightAligned) const
{
    const QString sample(width, rightAligned ? u'0' : u'x');
    return static_cast<float>(printer().textWidth(sample));
}

void modReports::LayoutColumns(bool fill)
{
    PrintSurface &p = printer();
    const float left = static_cast<float>(p.marginLeft());
    const float printable =
        static_cast<float>(p.pageWidth()) - left - static_cast<float>(p.marginRight());

    float total = 0;
    int count = 0;
    for (int slot = 1; slot <= kColumnSlots; ++slot) {
        const ColumnDef &c = Columns[slot];
        if (c.Width != 0) {
            total += fnSampleWidth(c.Width, c.RightAligned);
            ++count;
        }
    }

    // Every starting position counts from the left margin, so nothing lands in the edge of the
    // sheet that a printer cannot reach.
    const float spare = printable - total;
    float gap = 0;
    float x = 0;
    if (count <= 1) {
        x = left + static_cast<float>(std::trunc(std::nearbyint(double(spare)) / 2));
    } else if (static_cast<float>(0.75 * printable) < total) {
        gap = spare / static_cast<float>(count - 1);
        x = left;
    } else {
        gap = spare / static_cast<float>(count + 1);
        const float limit =
            fill ? static_cast<float>(p.textWidth(QStringLiteral("XXX"))) : printable / 15.0f;
        if (limit < gap) {
            gap = limit;
            x = left + (spare - static_cast<float>(count - 1) * gap) / 2;
        } else {
            x = left + gap + 1;
        }
    }
    checkFinite(gap);
    checkFinite(x);

    // Definition order; sorting rather than stepping through 1 to 40 keeps a column placed even
    // when redefinitions have numbered it past 40.
    std::vector<int> order;
    for (int slot = 1; slot <= kColumnSlots; ++slot) {
        if (Columns[slot].Width != 0 && Columns[slot].Sequence > 0)
            order.push_back(slot);
    }
    std::stable_sort(order.begin(), order.end(),
                     [this](int a, int b) { return Columns[a].Sequence < Columns[b].Sequence; });
    for (int slot : order) {
        ColumnDef &c = Columns[slot];
        const float sample = fnSampleWidth(c.Width, c.RightAligned);
        c.Position = roundToInt16(c.RightAligned ? x + sample : x, "column position");
        x += sample + gap;
    }

    // Where each column's cells must stop so that none prints over its neighbour; an
    // overlapping layout (negative gap) still stops them at the neighbour's edge.
    const double apart = std::max(0.0, double(gap));
    const auto edge = [this](int slot, bool left) {
        const ColumnDef &c = Columns[slot];
        const double sample = fnSampleWidth(c.Width, c.RightAligned);
        if (c.RightAligned)
            return left ? c.Position - sample : double(c.Position);
        return left ? double(c.Position) : c.Position + sample;
    };
    m_cellLimits.fill(std::numeric_limits<double>::quiet_NaN());
    for (size_t i = 0; i < order.size(); ++i) {
        const int slot = order[i];
        if (Columns[slot].RightAligned)
            m_cellLimits[slot] = i > 0 ? edge(order[i - 1], false) + apart : p.marginLeft();
        else
            m_cellLimits[slot] = i + 1 < order.size() ? edge(order[i + 1], true) - apart
                                                      : p.pageWidth() - p.marginRight();
    }
}

void modReports::PrintAt(double x, const QString &text)
{
    PrintSurface &p = printer();
    p.setCurrentX(x);
    p.printText(text);
}

void modReports::PrintCell(int slot, const QVariant &value, bool currency, bool emphasis)
{
    checkSlot(slot);
    PrintSurface &p = printer();
    const ColumnDef &c = Columns[slot];
    const double room =
        c.RightAligned ? c.Position - m_cellLimits[slot] : m_cellLimits[slot] - c.Position;
    const QString text = fitted(p, withoutTrailingBlanks(value.toString()), room, c.RightAligned);

    if (emphasis)
        p.setFontBold(true);
    if (c.RightAligned) {
        if (currency) {
            // The sign stands one digit left of the widest number the column holds.
            const qint16 digits = toInt16(double(c.Width) + 1, "currency width");
            PrintAt(c.Position - p.textWidth(QString(digits, u'9')), QStringLiteral("$"));
        }
        PrintAt(c.Position - p.textWidth(text), text);
    } else {
        PrintAt(c.Position, text);
    }
    if (emphasis)
        p.setFontBold(false);
}

void modReports::PrintTitleLine(const QString &left, const QString &centre, const QString &right)
{
    PrintSurface &p = printer();
    NewLine();
    PrintAt(p.marginLeft(), left);
    PrintAt((p.pageWidth() - p.textWidth(centre)) / 2, centre);
    PrintAt(p.pageWidth() - p.textWidth(right) - p.marginRight(), right);
    NewLine();
}

void modReports::PrintHeaders()
{
    PrintSurface &p = printer();
    for (int line = 1; line <= 3; ++line) {
        p.setFontUnderline(line == 3);
        for (int slot = 1; slot <= kColumnSlots; ++slot) {
            const ColumnDef &c = Columns[slot];
            const QString &text = c.Header[line];
            if (c.Width == 0 || text.isEmpty())
                continue;
            PrintAt(c.RightAligned ? c.Position - p.textWidth(text) : c.Position, text);
        }
        NewLine();
    }
    p.setFontUnderline(false);
    NewLine();
}

void modReports::NewLine()
{
    printer().lineEnd();
}

bool modReports::fnNeedPageBreak() const
{
    const PrintSurface &p = printer();
    return p.currentY() > kPageFull * p.pageHeight();
}

double modReports::fnPageWidth() const
{
    return printer().pageWidth();
}

const ColumnDef &modReports::Column(int slot) const
{
    checkSlot(slot);
    return Columns[slot];
}

} // namespace qs
