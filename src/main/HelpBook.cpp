#include "main/HelpBook.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextDocumentFragment>

namespace qs {

namespace {

constexpr auto kFlags =
    QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption;

QStringList captures(const QString &text, const QRegularExpression &re)
{
    QStringList out;
    for (auto it = re.globalMatch(text); it.hasNext();)
        out << it.next().captured(1);
    return out;
}

QString bodyOf(const QString &html)
{
    static const QRegularExpression open(QStringLiteral("<body[^>]*>"), kFlags);
    static const QRegularExpression close(QStringLiteral("</body\\s*>"), kFlags);
    const auto start = open.match(html);
    const qsizetype from = start.hasMatch() ? start.capturedEnd() : 0;
    const auto end = close.match(html, from);
    return html.mid(from, end.hasMatch() ? end.capturedStart() - from : -1);
}

HelpPage makePage(const QString &html)
{
    static const QRegularExpression heading(QStringLiteral("<h([12])[^>]*>(.*?)</h\\1\\s*>"),
                                            kFlags);
    static const QRegularExpression anchor(QStringLiteral("<a\\s[^>]*name=\"([^\"]+)\""), kFlags);
    HelpPage page;
    page.html = html;
    page.anchors = captures(html, anchor);
    const auto title = heading.match(html);
    if (title.hasMatch())
        page.title = QTextDocumentFragment::fromHtml(title.captured(2)).toPlainText().simplified();
    return page;
}

} // namespace

Result<HelpBook> HelpBook::load(const QString &path)
{
    const QString shown = QDir::toNativeSeparators(path);
    if (!QFileInfo(path).isFile())
        return Status::failure(
            QStringLiteral("The help file \"%1\" cannot be read: it is not a file.").arg(shown));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Status::failure(QStringLiteral("The help file \"%1\" cannot be read: %2.")
                                   .arg(shown, file.errorString()));
    return fromHtml(QString::fromUtf8(file.readAll()), path);
}

Result<HelpBook> HelpBook::fromHtml(const QString &html, const QString &path)
{
    static const QRegularExpression style(QStringLiteral("<style[^>]*>.*?</style\\s*>"), kFlags);
    static const QRegularExpression pageStart(QStringLiteral("<h[12][\\s>]"), kFlags);

    HelpBook book;
    book.m_path = QFileInfo(path).absoluteFilePath();
    book.m_style = style.match(html).captured(0);
    const QString body = bodyOf(html);
    QList<qsizetype> starts;
    for (auto it = pageStart.globalMatch(body); it.hasNext();)
        starts << it.next().capturedStart();
    for (qsizetype i = 0; i < starts.size(); ++i) {
        const qsizetype end = i + 1 < starts.size() ? starts[i + 1] : body.size();
        book.m_pages.push_back(makePage(body.mid(starts[i], end - starts[i])));
        // The first page that names an anchor keeps it.
        for (const QString &name : book.m_pages.back().anchors) {
            if (!book.m_pageOf.contains(name))
                book.m_pageOf.insert(name, int(i));
        }
    }
    if (book.contentsPage() < 0)
        return Status::failure(
            QStringLiteral("The help file \"%1\" holds no contents; it may be damaged.")
                .arg(QDir::toNativeSeparators(path)));
    return book;
}

QString HelpBook::pageHtml(int index) const
{
    return QStringLiteral("<html><head>") + m_style + QStringLiteral("</head><body>") +
           page(index).html + QStringLiteral("</body></html>");
}

} // namespace qs
