#include "reports/RecordingSurface.h"

#include <cmath>

namespace qs {

RecordingSurface::RecordingSurface(double pageWidth, double pageHeight)
    : m_pageWidth(pageWidth), m_pageHeight(pageHeight)
{
}

double RecordingSurface::charWidth(QChar c, double points)
{
    double base = 90;
    if (c.isDigit())
        base = 110;
    else if (c == u' ')
        base = 55;
    else if (c == u'X')
        base = 130;
    else if (c.isUpper())
        base = 120;
    else if (c.isLower())
        base = 100;
    return base * points / 10.0;
}

std::vector<RecordedText> RecordingSurface::visibleTexts() const
{
    std::vector<RecordedText> out;
    for (const RecordedText &t : m_texts) {
        if (!t.text.isEmpty())
            out.push_back(t);
    }
    return out;
}

void RecordingSurface::setMarginLeft(double twips)
{
    m_marginLeft = twips;
}

void RecordingSurface::setMarginRight(double twips)
{
    m_marginRight = twips;
}

void RecordingSurface::setMarginTop(double twips)
{
    m_marginTop = twips;
}

void RecordingSurface::setMarginBottom(double twips)
{
    m_marginBottom = twips;
}

void RecordingSurface::setPreview(bool on)
{
    m_preview = on;
}

void RecordingSurface::startDoc()
{
    m_inDoc = true;
    m_page = 1;
    m_x = m_marginLeft;
    m_y = m_marginTop;
}

void RecordingSurface::endDoc()
{
    requireDoc("endDoc");
    m_inDoc = false;
}

void RecordingSurface::newPage()
{
    requireDoc("newPage");
    ++m_page;
    m_x = m_marginLeft;
    m_y = m_marginTop;
}

void RecordingSurface::setCurrentX(double twips)
{
    m_x = twips;
}

void RecordingSurface::printText(const QString &text)
{
    requireDoc("printText");
    m_texts.push_back({m_page, m_x, m_y, text, m_fontName, m_fontSize, m_underline, m_bold});
    m_x += textWidth(text);
}

void RecordingSurface::lineEnd()
{
    requireDoc("lineEnd");
    m_x = m_marginLeft;
    m_y += lineHeight();
}

double RecordingSurface::textWidth(const QString &text) const
{
    double width = 0;
    for (QChar c : text)
        width += charWidth(c, m_fontSize);
    return width;
}

void RecordingSurface::setFontName(const QString &name)
{
    m_fontName = name;
}

void RecordingSurface::setFontSize(double points)
{
    m_fontSize = roundedPoints(points);
}

void RecordingSurface::setFontUnderline(bool on)
{
    m_underline = on;
}

void RecordingSurface::setFontBold(bool on)
{
    m_bold = on;
}

void RecordingSurface::requireDoc(const char *operation) const
{
    if (!m_inDoc)
        throw ReportError(
            QStringLiteral("%1 called outside a document.").arg(QLatin1String(operation)));
}

} // namespace qs
