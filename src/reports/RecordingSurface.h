#pragma once

#include "reports/PrintSurface.h"

#include <QStringList>

#include <vector>

namespace qs {

// One text as the recording surface received it.
struct RecordedText
{
    int page = 0;
    double x = 0;
    double y = 0;
    QString text;
    QString fontName;
    double fontSize = 0;
    bool underline = false;
    bool bold = false;

    double right(double width) const { return x + width; }
};

// A print surface that draws nothing and remembers every call, so that a report's layout can be
// checked exactly. Widths come from a fixed table, not from fonts, and lines are 24 twips per
// point of font size, so the numbers are the same on every machine.
class RecordingSurface final : public PrintSurface
{
public:
    // US Letter unless told otherwise.
    explicit RecordingSurface(double pageWidth = 12240, double pageHeight = 15840);

    // Width of one character at 10 points: digits 110, blank 55, "X" 130, other capitals 120,
    // small letters 100, anything else 90; other sizes scale linearly.
    static double charWidth(QChar c, double points);
    double lineHeight() const { return m_fontSize * 24; }

    // Every text printed, in order, with where and how it was printed.
    const std::vector<RecordedText> &texts() const { return m_texts; }
    // Texts that are not empty, in order.
    std::vector<RecordedText> visibleTexts() const;
    // Puts the pen at any height, for tests of the page-full rule.
    void setCurrentY(double twips) { m_y = twips; }

    double pageWidth() const override { return m_pageWidth; }
    double pageHeight() const override { return m_pageHeight; }
    void setMarginLeft(double twips) override;
    void setMarginRight(double twips) override;
    void setMarginTop(double twips) override;
    void setMarginBottom(double twips) override;
    double marginLeft() const override { return m_marginLeft; }
    double marginRight() const override { return m_marginRight; }
    double marginTop() const override { return m_marginTop; }
    double marginBottom() const override { return m_marginBottom; }

    void setPreview(bool on) override;
    bool preview() const override { return m_preview; }
    void startDoc() override;
    void endDoc() override;
    void newPage() override;
    int currentPage() const override { return m_page; }

    void setCurrentX(double twips) override;
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
    void requireDoc(const char *operation) const;

    double m_pageWidth;
    double m_pageHeight;
    double m_marginLeft = 1440;
    double m_marginRight = 1440;
    double m_marginTop = 1440;
    double m_marginBottom = 1440;
    bool m_preview = true;
    bool m_inDoc = false;
    int m_page = 0;
    double m_x = 0;
    double m_y = 0;
    QString m_fontName = QStringLiteral("Arial");
    double m_fontSize = 11.25;
    bool m_underline = false;
    bool m_bold = false;
    std::vector<RecordedText> m_texts;
};

} // namespace qs
