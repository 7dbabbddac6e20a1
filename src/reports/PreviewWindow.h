#pragma once

#include "reports/PageOutput.h"

#include <QImage>
#include <QList>
#include <QSize>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <list>
#include <memory>

class QLabel;
class QScrollArea;
class QSpinBox;
class QToolButton;
class TReportRun;

// The preview of a run on the screen: one page at a time, with page
// navigation, zoom (fit page, fit width, 100 %), Print and Save as PDF.
//
// Pages are produced on demand: a page is laid out when it is first asked
// for and painted only when it is shown; the last few painted pages are
// kept for going back and forth, nothing more. While the preview is open
// the pages that follow are counted a slice at a time between events, so
// that "of N" fills in without holding the window up.
//
// The preview owns its run. It closes itself when the run's table is closed
// or its report goes, so it never reads a closed table.
class TReportPreview : public QWidget {
    Q_OBJECT

public:
    enum class Zoom { FitPage, FitWidth, ActualSize };
    static constexpr int kCachedPages = 4;

    // Shows the pages of selection (its copies do not apply) of the run.
    TReportPreview(std::unique_ptr<TReportRun> run, const TPageSelection& selection,
                   QWidget* parent = nullptr);
    ~TReportPreview() override;

    TReportRun* run() const { return m_run.get(); }
    // The number of the page shown (as printed on it).
    int currentPage() const { return m_index + 1; }
    Zoom zoom() const { return m_zoom; }
    // The page's size on the screen, in pixels.
    QSize pageSizeOnScreen() const;
    // Page images painted so far and held now.
    int pagesPainted() const { return m_painted; }
    int pagesHeld() const { return static_cast<int>(m_cache.size()); }

public slots:
    void showPage(int pageNumber);
    void firstPage();
    void priorPage();
    void nextPage();
    void lastPage();
    void setZoom(Zoom zoom);
    void print();
    void saveAsPdf();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    class PageView;
    friend class PageView;
    class Busy;

    // The image of a page at the current zoom, from the cache or painted now.
    const QImage& pageImage(int index);
    qreal unitsToPixels() const;
    int lastIndex() const;  // the last page of the selection known so far
    void countSomePages();
    void updateControls();
    void stopWhenGone();
    // Prints or saves pages from here with a progress window; a failure is
    // shown in the standard error box.
    void produce(const std::function<TOutputResult(const TBetweenPages&)>& work);

    static constexpr int kMaxPageNumber = 99999;

    std::unique_ptr<TReportRun> m_run;
    TPageSelection m_selection;
    int m_firstIndex = 0;
    int m_lastIndex = 0;  // of the selection; INT_MAX: the report's last
    int m_index = 0;
    Zoom m_zoom = Zoom::FitWidth;
    struct Cached {
        int index;
        QSize size;
        QImage image;
    };
    std::list<Cached> m_cache;  // most recently shown first
    int m_painted = 0;
    QTimer m_counter;
    QList<QMetaObject::Connection> m_watch;
    bool m_busy = false;
    bool m_deleteWhenIdle = false;

    QScrollArea* m_scroll = nullptr;
    PageView* m_view = nullptr;
    QSpinBox* m_pageBox = nullptr;
    QLabel* m_pageCount = nullptr;
    QToolButton* m_first = nullptr;
    QToolButton* m_prior = nullptr;
    QToolButton* m_next = nullptr;
    QToolButton* m_last = nullptr;
};
