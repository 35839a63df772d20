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

void RecordingSurface::clearLog()
{
    m_log.clear();
    m_texts.clear();
}

void RecordingSurface::setMarginLeft(double twips)
{
    m_marginLeft = twips;
    m_log << QStringLiteral("marginLeft %1").arg(twips);
}

void RecordingSurface::setMarginRight(double twips)
{
    m_marginRight = twips;
    m_log << QStringLiteral("marginRight %1").arg(twips);
}

void RecordingSurface::setMarginTop(double twips)
{
    m_marginTop = twips;
    m_log << QStringLiteral("marginTop %1").arg(twips);
}

void RecordingSurface::setMarginBottom(double twips)
{
    m_marginBottom = twips;
    m_log << QStringLiteral("marginBottom %1").arg(twips);
}

void RecordingSurface::setPreview(bool on)
{
    m_preview = on;
    m_log << QStringLiteral("preview %1").arg(on ? 1 : 0);
}

void RecordingSurface::startDoc()
{
    m_inDoc = true;
    ++m_documents;
    m_page = 1;
    m_x = m_marginLeft;
    m_y = m_marginTop;
    m_log << QStringLiteral("startDoc");
}

void RecordingSurface::endDoc()
{
    requireDoc("endDoc");
    m_inDoc = false;
    m_log << QStringLiteral("endDoc");
}

void RecordingSurface::newPage()
{
    requireDoc("newPage");
    ++m_page;
    m_x = m_marginLeft;
    m_y = m_marginTop;
    m_log << QStringLiteral("newPage");
}

void RecordingSurface::setCurrentX(double twips)
{
    m_x = twips;
    m_log << QStringLiteral("x %1").arg(twips);
}

void RecordingSurface::printText(const QString &text)
{
    requireDoc("printText");
    m_texts.push_back({m_page, m_x, m_y, text, m_fontName, m_fontSize, m_underline, m_bold});
    m_log << QStringLiteral("print %1").arg(text);
    m_x += textWidth(text);
}

void RecordingSurface::lineEnd()
{
    requireDoc("lineEnd");
    m_x = m_marginLeft;
    m_y += lineHeight();
    m_log << QStringLiteral("lineEnd");
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
    m_log << QStringLiteral("fontName %1").arg(name);
}

void RecordingSurface::setFontSize(double points)
{
    m_fontSize = roundedPoints(points);
    m_log << QStringLiteral("fontSize %1").arg(m_fontSize);
}

void RecordingSurface::setFontUnderline(bool on)
{
    m_underline = on;
    m_log << QStringLiteral("underline %1").arg(on ? 1 : 0);
}

void RecordingSurface::setFontBold(bool on)
{
    m_bold = on;
    m_log << QStringLiteral("bold %1").arg(on ? 1 : 0);
}

void RecordingSurface::requireDoc(const char *operation) const
{
    if (!m_inDoc)
        throw ReportError(
            QStringLiteral("%1 called outside a document.").arg(QLatin1String(operation)));
}

} // namespace qs
