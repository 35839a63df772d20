#pragma once

#include "store/Status.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

namespace qs {

// The anchor of the help file's contents page.
inline const QString kHelpContentsAnchor = QStringLiteral("contents");

// One page of the help: the part of the file from one <h1> or <h2> heading to the next.
struct HelpPage
{
    QString title;       // the heading as plain text
    QStringList anchors; // every <a name="..."> on the page, the first one heading it
    QString html;        // the page's part of the body
};

// The help file read into pages. The file is one HTML document that any browser can show
// whole; the help window shows it a page at a time. Anchors name the pages (and places
// within them); the controls' help topic numbers are anchors.
class HelpBook
{
public:
    static Result<HelpBook> load(const QString &path);
    static Result<HelpBook> fromHtml(const QString &html, const QString &path);

    // The file, as an absolute path.
    const QString &path() const { return m_path; }
    int pageCount() const { return int(m_pages.size()); }
    const HelpPage &page(int index) const { return m_pages.at(size_t(index)); }
    // The page that holds `anchor`; -1 when no page does.
    int pageOf(const QString &anchor) const { return m_pageOf.value(anchor, -1); }
    int contentsPage() const { return pageOf(kHelpContentsAnchor); }
    // One page as a document of its own, with the file's style sheet.
    QString pageHtml(int index) const;

private:
    QString m_path;
    QString m_style;
    std::vector<HelpPage> m_pages;
    QHash<QString, int> m_pageOf;
};

} // namespace qs
