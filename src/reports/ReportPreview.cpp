#include "reports/ReportPreview.h"

#include <QAbstractScrollArea>
#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <functional>

namespace qs {

namespace {
constexpr int kMargin = 12;
constexpr int kGap = 12;
constexpr int kThumbWidth = 150;
const QColor kBackdrop(128, 128, 128);
} // namespace

// The scrolled area under the zoom buttons. Pages are laid out in rows; only those in view
// are drawn.
class PageView : public QAbstractScrollArea
{
public:
    explicit PageView(QWidget *parent) : QAbstractScrollArea(parent)
    {
        viewport()->setAutoFillBackground(false);
        setFrameShape(QFrame::StyledPanel);
    }

    std::vector<QPicture> pages;
    ReportPreview::Zoom zoom = ReportPreview::Zoom::WholePage;
    std::function<void()> scrolled;

    QSizeF pageSize() const
    {
        if (pages.empty())
            return {612, 792};
        const QRect r = pages.front().boundingRect();
        return QSizeF(std::max(1, r.width()), std::max(1, r.height()));
    }

    // Pages per row and picture units to pixels, for the viewport's present size.
    std::pair<int, double> arrangement() const
    {
        const QSizeF page = pageSize();
        const double w = std::max(1, viewport()->width() - 2 * kMargin);
        const double h = std::max(1, viewport()->height() - 2 * kMargin);
        switch (zoom) {
        case ReportPreview::Zoom::WholePage:
            return {1, std::min(w / page.width(), h / page.height())};
        case ReportPreview::Zoom::PageWidth:
            return {1, w / page.width()};
        case ReportPreview::Zoom::TwoPages:
            return {2, std::min((w - kGap) / (2 * page.width()), h / page.height())};
        case ReportPreview::Zoom::Thumbnail:
            break;
        }
        const int across = std::max(1, int((w + kGap) / (kThumbWidth + kGap)));
        return {across, kThumbWidth / page.width()};
    }

    // Page rectangle in content coordinates (before scrolling).
    QRect contentRect(int index) const
    {
        const auto [across, scale] = arrangement();
        const QSizeF page = pageSize() * std::max(scale, 0.01);
        const int pw = std::max(1, int(std::lround(page.width())));
        const int ph = std::max(1, int(std::lround(page.height())));
        const int rowWidth = across * pw + (across - 1) * kGap;
        const int left = std::max(kMargin, (viewport()->width() - rowWidth) / 2);
        const int col = index % across;
        const int row = index / across;
        return QRect(left + col * (pw + kGap), kMargin + row * (ph + kGap), pw, ph);
    }

    QSize contentSize() const
    {
        if (pages.empty())
            return {0, 0};
        const auto [across, scale] = arrangement();
        Q_UNUSED(scale);
        const int rows = (int(pages.size()) + across - 1) / across;
        const QRect last = contentRect((rows - 1) * across + across - 1);
        return {last.right() + 1 + kMargin, last.bottom() + 1 + kMargin};
    }

    QRect viewRect(int index) const
    {
        return contentRect(index).translated(-horizontalScrollBar()->value(),
                                             -verticalScrollBar()->value());
    }

    void updateScrollBars()
    {
        const QSize content = contentSize();
        const QSize view = viewport()->size();
        horizontalScrollBar()->setRange(0, std::max(0, content.width() - view.width()));
        horizontalScrollBar()->setPageStep(view.width());
        horizontalScrollBar()->setSingleStep(20);
        verticalScrollBar()->setRange(0, std::max(0, content.height() - view.height()));
        verticalScrollBar()->setPageStep(view.height());
        verticalScrollBar()->setSingleStep(20);
        viewport()->update();
    }

    int firstVisiblePage() const
    {
        for (int i = 0; i < int(pages.size()); ++i) {
            if (viewRect(i).bottom() >= 0)
                return i;
        }
        return int(pages.size()) - 1;
    }

    static void drawPage(QPainter &painter, const QPicture &page, const QRect &target,
                         const QSizeF &pageSize)
    {
        painter.fillRect(target, Qt::white);
        painter.save();
        painter.setClipRect(target);
        painter.translate(target.topLeft());
        painter.scale(target.width() / pageSize.width(), target.height() / pageSize.height());
        painter.drawPicture(0, 0, page);
        painter.restore();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(viewport());
        painter.fillRect(viewport()->rect(), kBackdrop);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        const QRect view = viewport()->rect();
        for (int i = 0; i < int(pages.size()); ++i) {
            const QRect r = viewRect(i);
            if (r.top() > view.bottom())
                break;
            if (!r.intersects(view))
                continue;
            painter.fillRect(r.translated(3, 3), QColor(64, 64, 64));
            drawPage(painter, pages[size_t(i)], r, pageSize());
            painter.setPen(Qt::black);
            painter.drawRect(r.adjusted(0, 0, -1, -1));
        }
    }

    void resizeEvent(QResizeEvent *event) override
    {
        QAbstractScrollArea::resizeEvent(event);
        updateScrollBars();
    }

    void scrollContentsBy(int, int) override
    {
        viewport()->update();
        if (scrolled)
            scrolled();
    }
};

ReportPreview::ReportPreview(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *bar = new QHBoxLayout;
    layout->addLayout(bar);

    m_zoomGroup = new QButtonGroup(this);
    const struct
    {
        Zoom zoom;
        const char *text;
        const char *name;
    } choices[] = {{Zoom::WholePage, "Whole &Page", "zoomWholePage"},
                   {Zoom::PageWidth, "Page &Width", "zoomPageWidth"},
                   {Zoom::TwoPages, "&Two Pages", "zoomTwoPages"},
                   {Zoom::Thumbnail, "Thumb&nail", "zoomThumbnail"}};
    for (const auto &choice : choices) {
        auto *button = new QToolButton(this);
        button->setText(QString::fromLatin1(choice.text));
        button->setObjectName(QLatin1String(choice.name));
        button->setCheckable(true);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        m_zoomGroup->addButton(button, int(choice.zoom));
        bar->addWidget(button);
    }
    m_zoomGroup->button(int(m_zoom))->setChecked(true);
    connect(m_zoomGroup, &QButtonGroup::idClicked, this, [this](int id) { setZoom(Zoom(id)); });

    bar->addStretch();
    m_pageLabel = new QLabel(this);
    m_pageLabel->setObjectName(QStringLiteral("lblPreviewPage"));
    m_pageLabel->setAccessibleName(QStringLiteral("Page shown"));
    bar->addWidget(m_pageLabel);

    m_view = new PageView(this);
    m_view->setObjectName(QStringLiteral("previewPages"));
    m_view->setAccessibleName(QStringLiteral("Report pages"));
    m_view->scrolled = [this] { updatePageLabel(); };
    layout->addWidget(m_view, 1);
    updatePageLabel();
}

ReportPreview::~ReportPreview() = default;

void ReportPreview::setPages(std::vector<QPicture> pages)
{
    m_view->pages = std::move(pages);
    m_view->updateScrollBars();
    m_view->horizontalScrollBar()->setValue(0);
    m_view->verticalScrollBar()->setValue(0);
    updatePageLabel();
}

int ReportPreview::pageCount() const
{
    return int(m_view->pages.size());
}

void ReportPreview::setZoom(Zoom zoom)
{
    // Keep the page that was at the top in view across the change.
    const int page = m_view->pages.empty() ? 0 : m_view->firstVisiblePage();
    m_zoom = zoom;
    m_view->zoom = zoom;
    m_zoomGroup->button(int(zoom))->setChecked(true);
    m_view->updateScrollBars();
    if (!m_view->pages.empty())
        m_view->verticalScrollBar()->setValue(m_view->contentRect(page).top() - kMargin);
    updatePageLabel();
}

QAbstractButton *ReportPreview::zoomButton(Zoom zoom) const
{
    return m_zoomGroup->button(int(zoom));
}

QRect ReportPreview::pageRect(int index) const
{
    return m_view->viewRect(index);
}

QWidget *ReportPreview::viewport() const
{
    return m_view->viewport();
}

void ReportPreview::updatePageLabel()
{
    const QString text = m_view->pages.empty() ? QString()
                                               : QStringLiteral("Page %1 of %2")
                                                     .arg(m_view->firstVisiblePage() + 1)
                                                     .arg(m_view->pages.size());
    m_pageLabel->setText(text);
    m_pageLabel->setAccessibleDescription(text);
}

} // namespace qs
