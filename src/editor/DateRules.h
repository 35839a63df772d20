#pragma once

#include <QDate>
#include <QString>
#include <QStringView>

#include <optional>

// Date rules of the record editor: the short forms typed into the date box, the one parser that
// decides whether a text is a date, and the "m/d/yyyy" form in which dates are shown.
// Nothing here reads the clock; callers pass today's date.

// Two-digit years below this (compared as text) belong to the 2000s, the others to the 1900s.
inline constexpr QStringView kCenturyPivot = u"30";

// Expands a typed short form (keyword, bare digits, m/d/yy) to "m/d/yyyy"; returns the text
// unchanged when no rule yields a date.
QString fnExpandDate(const QString &typed, const QDate &today);

// Accepts exactly "m/d/yyyy" with one- or two-digit month and day, a four-digit year, ASCII
// digits only and optional blanks around it; refuses a month or day that does not exist.
std::optional<QDate> fnParseDate(const QString &text);

bool fnIsValidDate(const QString &text);

// "m/d/yyyy" without leading zeros in month and day; empty for no date.
QString fnFormatDate(const std::optional<QDate> &date);

// The store keeps dates as "YYYY-MM-DD" text.
QString fnDateToIso(const QDate &date);
std::optional<QDate> fnDateFromIso(const QString &text);
