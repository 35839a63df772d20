#pragma once

#include <QPicture>
#include <QWidget>

#include <vector>

class QAbstractButton;
class QButtonGroup;
class QLabel;

namespace qs {

class PageView;

// Shows the pages of a previewed report, with the zoom choices "Whole &Page", "Page &Width",
// "&Two Pages" and "Thumb&nail". Pages are drawn from the pictures the print surface kept, at
// whatever scale the choice asks for, so text stays sharp at every size.
class ReportPreview : public QWidget
{
    Q_OBJECT
public:
    enum class Zoom { WholePage, PageWidth, TwoPages, Thumbnail };

    explicit ReportPreview(QWidget *parent = nullptr);
    ~ReportPreview() override;

    // Replaces the pages shown and goes back to the first one.
    void setPages(std::vector<QPicture> pages);
    int pageCount() const;

    Zoom zoom() const { return m_zoom; }
    void setZoom(Zoom zoom);
    QAbstractButton *zoomButton(Zoom zoom) const;

    // Where a page stands in the page view's viewport now (it may lie outside the view).
    QRect pageRect(int index) const;
    QWidget *viewport() const;

private:
    void updatePageLabel();

    PageView *m_view = nullptr;
    QButtonGroup *m_zoomGroup = nullptr;
    QLabel *m_pageLabel = nullptr;
    Zoom m_zoom = Zoom::WholePage;
};

} // namespace qs
