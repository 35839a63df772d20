#pragma once

#include <QString>

#include <cmath>
#include <stdexcept>

namespace qs {

// Sizes are kept to four decimals, as a point size on a real surface is.
inline double roundedPoints(double points)
{
    return std::round(points * 10000.0) / 10000.0;
}

// Failure of a report: a surface that cannot produce its output, or a column table used wrongly.
// The text is meant for the user.
class ReportError : public std::runtime_error
{
public:
    explicit ReportError(const QString &text) : std::runtime_error(text.toStdString()) {}
    QString text() const { return QString::fromStdString(what()); }
};

// Where a report is drawn: a sequence of pages written line by line at chosen horizontal
// positions. Every length is in twips (1440 per inch); horizontal positions count from the left
// edge of the page, vertical ones from its top. Failures are thrown as ReportError.
class PrintSurface
{
public:
    virtual ~PrintSurface() = default;

    // The whole sheet, margins included.
    virtual double pageWidth() const = 0;
    virtual double pageHeight() const = 0;

    virtual void setMarginLeft(double twips) = 0;
    virtual void setMarginRight(double twips) = 0;
    virtual void setMarginTop(double twips) = 0;
    virtual void setMarginBottom(double twips) = 0;
    virtual double marginLeft() const = 0;
    virtual double marginRight() const = 0;
    virtual double marginTop() const = 0;
    virtual double marginBottom() const = 0;

    // A document goes to the preview when it is started while the preview switch is on, and
    // to the surface's output otherwise. Starting leaves the pen at the top left inside the
    // margins of page 1.
    virtual void setPreview(bool on) = 0;
    virtual bool preview() const = 0;
    virtual void startDoc() = 0;
    virtual void endDoc() = 0;
    // Closes the page; the pen goes back to the top margin of the next one.
    virtual void newPage() = 0;
    // The number of the page now being filled, from 1.
    virtual int currentPage() const = 0;

    virtual void setCurrentX(double twips) = 0;
    virtual double currentX() const = 0;
    // The top of the line now being written.
    virtual double currentY() const = 0;

    // Writes the text at the current position in the current font and moves right past it.
    virtual void printText(const QString &text) = 0;
    // Moves down one line of the current font, back to the left margin.
    virtual void lineEnd() = 0;
    virtual double textWidth(const QString &text) const = 0;

    virtual QString fontName() const = 0;
    virtual void setFontName(const QString &name) = 0;
    // Points.
    virtual double fontSize() const = 0;
    virtual void setFontSize(double points) = 0;
    virtual bool fontUnderline() const = 0;
    virtual void setFontUnderline(bool on) = 0;
    virtual bool fontBold() const = 0;
    virtual void setFontBold(bool on) = 0;

protected:
    PrintSurface() = default;
    PrintSurface(const PrintSurface &) = default;
    PrintSurface &operator=(const PrintSurface &) = default;
};

inline constexpr double kTwipsPerInch = 1440.0;
inline constexpr double kTwipsPerPoint = 20.0;

} // namespace qs
