#include "reports/PainterSurface.h"

#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>

#include <cmath>

namespace qs {

namespace {
// A QImage reports its resolution from dots per metre; this rounds back to 1440 per inch.
constexpr int kRulerDotsPerMetre = 56693;
} // namespace

PainterSurface::PainterSurface()
    : m_layout(QPageSize(QPageSize::Letter), QPageLayout::Portrait, QMarginsF()),
      m_ruler(1, 1, QImage::Format_Mono)
{
    m_ruler.setDotsPerMeterX(kRulerDotsPerMetre);
    m_ruler.setDotsPerMeterY(kRulerDotsPerMetre);
}

PainterSurface::~PainterSurface()
{
    closePainter();
}

void PainterSurface::setOutput(QPagedPaintDevice *device)
{
    m_output = device;
}

double PainterSurface::previewScale() const
{
    return kTwipsPerInch / QPicture().logicalDpiX();
}

QPageLayout PainterSurface::activeLayout() const
{
    if (m_docLayout)
        return *m_docLayout;
    return m_output ? m_output->pageLayout() : m_layout;
}

double PainterSurface::pageWidth() const
{
    return activeLayout().fullRect(QPageLayout::Point).width() * kTwipsPerPoint;
}

double PainterSurface::pageHeight() const
{
    return activeLayout().fullRect(QPageLayout::Point).height() * kTwipsPerPoint;
}

void PainterSurface::startDoc()
{
    closePainter(); // a run that failed half-way may have left its document open
    const QPageLayout layout = m_output ? m_output->pageLayout() : m_layout;
    m_previewDoc = m_preview;
    if (m_previewDoc) {
        m_pages.clear();
        m_docLayout = layout;
        beginPicturePage();
    } else {
        if (!m_output)
            throw ReportError(QStringLiteral("There is no printer or file to print to."));
        auto painter = std::make_unique<QPainter>();
        if (!painter->begin(m_output))
            throw ReportError(QStringLiteral("The printer or file could not be opened."));
        m_painter = std::move(painter);
        m_docLayout = layout;
        m_scaleX = m_output->logicalDpiX() / kTwipsPerInch;
        m_scaleY = m_output->logicalDpiY() / kTwipsPerInch;
        // The painter's origin is the corner of the printable area, not of the sheet.
        const QRectF paint = layout.paintRect(QPageLayout::Point);
        m_originX = paint.left() * kTwipsPerPoint;
        m_originY = paint.top() * kTwipsPerPoint;
    }
    m_page = 1;
    m_x = m_marginLeft;
    m_y = m_marginTop;
    m_fontDirty = true;
}

void PainterSurface::endDoc()
{
    requireDoc();
    if (m_previewDoc) {
        finishPicturePage();
    } else {
        const bool finished = m_painter->end();
        m_painter.reset();
        if (!finished)
            throw ReportError(QStringLiteral("The document could not be finished."));
    }
    m_docLayout.reset();
}

void PainterSurface::newPage()
{
    requireDoc();
    if (m_previewDoc) {
        finishPicturePage();
        beginPicturePage();
    } else if (!m_output->newPage()) {
        throw ReportError(QStringLiteral("The next page could not be started."));
    }
    ++m_page;
    m_x = m_marginLeft;
    m_y = m_marginTop;
    m_fontDirty = true;
}

void PainterSurface::beginPicturePage()
{
    m_picture = QPicture();
    m_painter = std::make_unique<QPainter>(&m_picture);
    m_scaleX = m_picture.logicalDpiX() / kTwipsPerInch;
    m_scaleY = m_picture.logicalDpiY() / kTwipsPerInch;
    m_originX = 0;
    m_originY = 0;
    m_fontDirty = true;
}

void PainterSurface::finishPicturePage()
{
    m_painter->end();
    m_painter.reset();
    m_picture.setBoundingRect(
        QRect(0, 0, qCeil(pageWidth() * m_scaleX), qCeil(pageHeight() * m_scaleY)));
    m_pages.push_back(m_picture);
}

void PainterSurface::closePainter()
{
    m_painter.reset(); // ends painting on the device
    m_docLayout.reset();
}

void PainterSurface::requireDoc() const
{
    if (!m_painter)
        throw ReportError(QStringLiteral("Nothing can be printed outside a document."));
}

void PainterSurface::printText(const QString &text)
{
    requireDoc();
    if (text.isEmpty())
        return;
    if (m_fontDirty) {
        m_painter->setFont(currentFont());
        m_fontDirty = false;
    }
    const QFontMetricsF &fm = metrics();
    const QPointF baseline((m_x - m_originX) * m_scaleX,
                           (m_y + fm.ascent() - m_originY) * m_scaleY);
    m_painter->drawText(baseline, text);
    m_x += fm.horizontalAdvance(text);
}

void PainterSurface::lineEnd()
{
    requireDoc();
    m_x = m_marginLeft;
    m_y += metrics().lineSpacing();
}

double PainterSurface::textWidth(const QString &text) const
{
    return metrics().horizontalAdvance(text);
}

QFont PainterSurface::currentFont() const
{
    QFont font(m_fontName);
    font.setPointSizeF(m_fontSize);
    font.setUnderline(m_underline);
    font.setBold(m_bold);
    // Unhinted, so that widths scale with the device and match the ruler's.
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

const QFontMetricsF &PainterSurface::metrics() const
{
    if (!m_metrics)
        m_metrics.emplace(currentFont(), &m_ruler);
    return *m_metrics;
}

void PainterSurface::fontChanged()
{
    m_metrics.reset();
    m_fontDirty = true;
}

void PainterSurface::setFontName(const QString &name)
{
    m_fontName = name;
    fontChanged();
}

void PainterSurface::setFontSize(double points)
{
    m_fontSize = roundedPoints(points);
    fontChanged();
}

void PainterSurface::setFontUnderline(bool on)
{
    m_underline = on;
    fontChanged();
}

void PainterSurface::setFontBold(bool on)
{
    m_bold = on;
    fontChanged();
}

} // namespace qs
