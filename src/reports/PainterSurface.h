#pragma once

#include "reports/PrintSurface.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPageLayout>
#include <QPicture>

#include <memory>
#include <optional>
#include <vector>

class QPainter;
class QPagedPaintDevice;

namespace qs {

// A print surface that draws with QPainter. A document started with the preview switch off goes
// page by page to the output device (a PDF writer or a printer), holding no more than the page
// in hand; one started with the switch on is kept as one picture per page for a preview to show.
// Widths are measured at a fixed 1440 dots per inch without hinting, so the layout is the same
// on screen, on paper and in a file.
class PainterSurface final : public PrintSurface
{
public:
    PainterSurface();
    ~PainterSurface() override;
    PainterSurface(const PainterSurface &) = delete;
    PainterSurface &operator=(const PainterSurface &) = delete;

    // Not owned; must outlive every document started on it. Its page layout is the page of
    // every document, previews included. A printer should be in full-page mode.
    void setOutput(QPagedPaintDevice *device);
    QPagedPaintDevice *output() const { return m_output; }
    // The page when there is no output device (US Letter, portrait, by default).
    void setPageLayout(const QPageLayout &layout) { m_layout = layout; }

    // Pages of the last preview document; complete once it has ended.
    const std::vector<QPicture> &previewPages() const { return m_pages; }
    // Twips per picture unit of the preview pages.
    double previewScale() const;

    double pageWidth() const override;
    double pageHeight() const override;
    void setMarginLeft(double twips) override { m_marginLeft = twips; }
    void setMarginRight(double twips) override { m_marginRight = twips; }
    void setMarginTop(double twips) override { m_marginTop = twips; }
    void setMarginBottom(double twips) override { m_marginBottom = twips; }
    double marginLeft() const override { return m_marginLeft; }
    double marginRight() const override { return m_marginRight; }
    double marginTop() const override { return m_marginTop; }
    double marginBottom() const override { return m_marginBottom; }

    void setPreview(bool on) override { m_preview = on; }
    bool preview() const override { return m_preview; }
    void startDoc() override;
    void endDoc() override;
    void newPage() override;
    int currentPage() const override { return m_page; }

    void setCurrentX(double twips) override { m_x = twips; }
    double currentX() const override { return m_x; }
    double currentY() const override { return m_y; }
    void printText(const QString &text) override;
    void lineEnd() override;
    double textWidth(const QString &text) const override;

    QString fontName() const override { return m_fontName; }
    void setFontName(const QString &name) override;
    double fontSize() const override { return m_fontSize; }
    void setFontSize(double points) override;
    bool fontUnderline() const override { return m_underline; }
    void setFontUnderline(bool on) override;
    bool fontBold() const override { return m_bold; }
    void setFontBold(bool on) override;

private:
    QPageLayout activeLayout() const;
    QFont currentFont() const;
    const QFontMetricsF &metrics() const;
    void fontChanged();
    void beginPicturePage();
    void finishPicturePage();
    void closePainter();
    void requireDoc() const;

    QPagedPaintDevice *m_output = nullptr;
    QPageLayout m_layout;
    // Page of the document in progress, fixed at its start.
    std::optional<QPageLayout> m_docLayout;
    bool m_previewDoc = false;
    std::unique_ptr<QPainter> m_painter;
    QPicture m_picture;
    std::vector<QPicture> m_pages;
    // Device pixels per twip, and the twip position of the device's origin.
    double m_scaleX = 1;
    double m_scaleY = 1;
    double m_originX = 0;
    double m_originY = 0;
    bool m_fontDirty = true;

    double m_marginLeft = 1440;
    double m_marginRight = 1440;
    double m_marginTop = 1440;
    double m_marginBottom = 1440;
    bool m_preview = true;
    int m_page = 0;
    double m_x = 0;
    double m_y = 0;
    QString m_fontName = QStringLiteral("Arial");
    double m_fontSize = 11.25;
    bool m_underline = false;
    bool m_bold = false;

    // 1440 dots per inch, so that measured pixels are twips.
    QImage m_ruler;
    mutable std::optional<QFontMetricsF> m_metrics;
};

} // namespace qs
