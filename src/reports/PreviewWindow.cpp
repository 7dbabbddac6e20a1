#include "reports/PreviewWindow.h"

#include "data/DbTable.h"
#include "reports/DestinationPrompt.h"
#include "reports/ProgressWindow.h"
#include "reports/ReportRun.h"
#include "widgets/data/ErrorBox.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPrinter>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QSpinBox>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <cmath>
#include <exception>

namespace {

constexpr int kPageMargin = 12;      // grey around the page, in pixels
constexpr int kShadow = 4;           // the page's shadow, in pixels
constexpr int kPagesPerSlice = 100;  // pages counted between two events
constexpr qreal kSmallestScale = 0.05;

}  // namespace

// The page on the screen: the current page's image on a grey ground.
class TReportPreview::PageView : public QWidget {
public:
    explicit PageView(TReportPreview* preview) : QWidget(nullptr), m_preview(preview) {
        setObjectName(QStringLiteral("PageView"));
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::Dark));
        if (!m_preview->m_run || !m_preview->m_run->valid())
            return;
        const QSize size = m_preview->pageSizeOnScreen();
        const QRect page(QPoint(kPageMargin, kPageMargin), size);
        painter.fillRect(page.translated(kShadow, kShadow), QColor(64, 64, 64));
        painter.drawImage(page.topLeft(), m_preview->pageImage(m_preview->m_index));
    }

private:
    TReportPreview* m_preview;
};

TReportPreview::TReportPreview(std::unique_ptr<TReportRun> run, const TPageSelection& selection,
                               QWidget* parent)
    : QWidget(parent, Qt::Window), m_run(std::move(run)), m_selection(selection) {
    setObjectName(QStringLiteral("ReportPreview"));
    setWindowTitle(m_run->title() + QStringLiteral(" - Preview"));
    m_firstIndex = std::max(1, selection.fromPage) - 1;
    m_lastIndex = selection.toPage > 0 ? std::max(m_firstIndex, selection.toPage - 1) : INT_MAX;
    m_index = m_firstIndex;

    auto* bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("PreviewBar"));
    auto button = [this, bar](const char* name, const QString& text, auto slot) {
        auto* b = new QToolButton(bar);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(text);
        b->setAutoRaise(true);
        bar->addWidget(b);
        connect(b, &QToolButton::clicked, this, slot);
        return b;
    };
    m_first = button("FirstButton", QStringLiteral("First"), [this] { firstPage(); });
    m_prior = button("PriorButton", QStringLiteral("Prior"), [this] { priorPage(); });
    auto* pageLabel = new QLabel(QStringLiteral(" Page "), bar);
    bar->addWidget(pageLabel);
    m_pageBox = new QSpinBox(bar);
    m_pageBox->setObjectName(QStringLiteral("PageBox"));
    m_pageBox->setKeyboardTracking(false);
    m_pageBox->setMinimumWidth(80);
    bar->addWidget(m_pageBox);
    m_pageCount = new QLabel(bar);
    m_pageCount->setObjectName(QStringLiteral("PageCountLabel"));
    bar->addWidget(m_pageCount);
    m_next = button("NextButton", QStringLiteral("Next"), [this] { nextPage(); });
    m_last = button("LastButton", QStringLiteral("Last"), [this] { lastPage(); });
    bar->addSeparator();
    button("FitPageButton", QStringLiteral("Fit Page"), [this] { setZoom(Zoom::FitPage); });
    button("FitWidthButton", QStringLiteral("Fit Width"), [this] { setZoom(Zoom::FitWidth); });
    button("ActualSizeButton", QStringLiteral("100 %"), [this] { setZoom(Zoom::ActualSize); });
    bar->addSeparator();
    button("PrintButton", QStringLiteral("Print..."), [this] { print(); });
    button("SavePdfButton", QStringLiteral("Save as PDF..."), [this] { saveAsPdf(); });
    bar->addSeparator();
    button("CloseButton", QStringLiteral("Close"), [this] { close(); });
    connect(m_pageBox, &QSpinBox::valueChanged, this, [this](int page) {
        if (page != currentPage())
            showPage(page);
    });

    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("PreviewArea"));
    m_scroll->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_scroll->setBackgroundRole(QPalette::Dark);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_view = new PageView(this);
    m_scroll->setWidget(m_view);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(m_scroll, 1);

    const struct {
        QKeySequence key;
        void (TReportPreview::*action)();
    } keys[] = {{QKeySequence(Qt::Key_PageDown), &TReportPreview::nextPage},
                {QKeySequence(Qt::Key_PageUp), &TReportPreview::priorPage},
                {QKeySequence(Qt::CTRL | Qt::Key_Home), &TReportPreview::firstPage},
                {QKeySequence(Qt::CTRL | Qt::Key_End), &TReportPreview::lastPage}};
    for (const auto& k : keys) {
        auto* shortcut = new QShortcut(k.key, this);
        connect(shortcut, &QShortcut::activated, this, k.action);
    }

    // The run's table closed or gone, or its report gone: the preview ends.
    if (TDbTable* table = m_run->table()) {
        m_watch << connect(table, &TDbTable::activeChanged, this, [this](bool active) {
            if (!active)
                stopWhenGone();
        });
        m_watch << connect(table, &QObject::destroyed, this, [this] { stopWhenGone(); });
    }
    if (TBandReport* report = m_run->report())
        m_watch << connect(report, &QObject::destroyed, this, [this] { stopWhenGone(); });

    m_counter.setInterval(0);
    connect(&m_counter, &QTimer::timeout, this, &TReportPreview::countSomePages);
    if (!m_run->complete())
        m_counter.start();

    QSize size(900, 1000);
    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size() * 9 / 10);
    resize(size);
    updateControls();
}

TReportPreview::~TReportPreview() {
    // The run may close its table as it ends: no notice of that comes back here.
    for (const QMetaObject::Connection& connection : m_watch)
        disconnect(connection);
    m_counter.stop();
}

qreal TReportPreview::unitsToPixels() const {
    const QSize units = m_run->pageSize();
    const QSize room = m_scroll->maximumViewportSize() -
                       QSize(m_scroll->verticalScrollBar()->sizeHint().width(), 0) -
                       QSize(2 * kPageMargin + kShadow, 2 * kPageMargin + kShadow);
    const qreal fitWidth = room.width() / qreal(units.width());
    qreal scale = logicalDpiX() / qreal(qly::reports::kUnitsPerInch);
    switch (m_zoom) {
        case Zoom::FitWidth:
            scale = fitWidth;
            break;
        case Zoom::FitPage:
            scale = std::min(fitWidth, room.height() / qreal(units.height()));
            break;
        case Zoom::ActualSize:
            break;
    }
    return std::max(scale, kSmallestScale);
}

QSize TReportPreview::pageSizeOnScreen() const {
    const QSize units = m_run->pageSize();
    const qreal scale = unitsToPixels();
    return QSize(static_cast<int>(std::lround(units.width() * scale)),
                 static_cast<int>(std::lround(units.height() * scale)));
}

const QImage& TReportPreview::pageImage(int index) {
    const QSize size = pageSizeOnScreen();
    for (auto it = m_cache.begin(); it != m_cache.end(); ++it) {
        if (it->index == index && it->size == size) {
            m_cache.splice(m_cache.begin(), m_cache, it);
            return m_cache.front().image;
        }
    }
    const qreal ratio = devicePixelRatioF();
    QImage image(size * ratio, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QSize units = m_run->pageSize();
        painter.scale(image.width() / qreal(units.width()), image.height() / qreal(units.height()));
        m_run->paintPage(painter, index);
    }
    image.setDevicePixelRatio(ratio);
    ++m_painted;
    m_cache.push_front(Cached{index, size, std::move(image)});
    while (static_cast<int>(m_cache.size()) > kCachedPages)
        m_cache.pop_back();
    return m_cache.front().image;
}

int TReportPreview::lastIndex() const {
    return std::min(m_lastIndex, m_run->pagesLaidOut() - 1);
}

void TReportPreview::showPage(int pageNumber) {
    if (!m_run->valid())
        return;
    int index = std::clamp(pageNumber - 1, m_firstIndex, m_lastIndex);
    if (!m_run->hasPage(index))
        index = std::max(m_firstIndex, lastIndex());
    m_index = index;
    updateControls();
    m_scroll->verticalScrollBar()->setValue(0);
    m_view->update();
}

void TReportPreview::firstPage() {
    showPage(m_firstIndex + 1);
}

void TReportPreview::priorPage() {
    showPage(currentPage() - 1);
}

void TReportPreview::nextPage() {
    showPage(currentPage() + 1);
}

void TReportPreview::lastPage() {
    if (m_lastIndex == INT_MAX)
        m_run->pageCount();
    else
        m_run->hasPage(m_lastIndex);
    showPage(lastIndex() + 1);
}

void TReportPreview::setZoom(Zoom zoom) {
    m_zoom = zoom;
    updateControls();
    m_view->update();
}

void TReportPreview::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateControls();
}

void TReportPreview::countSomePages() {
    if (!m_run->valid() || m_run->layOutMore(kPagesPerSlice) || lastIndex() >= m_lastIndex)
        m_counter.stop();
    updateControls();
}

void TReportPreview::updateControls() {
    const bool counted = m_run->complete() || lastIndex() >= m_lastIndex;
    const int last = std::max(m_firstIndex, lastIndex());
    {
        const QSignalBlocker block(m_pageBox);
        m_pageBox->setRange(m_firstIndex + 1, counted ? last + 1 : kMaxPageNumber);
        m_pageBox->setValue(currentPage());
    }
    m_pageCount->setText(
        QStringLiteral(" of %1%2 ").arg(last + 1).arg(counted ? QString() : QStringLiteral("+")));
    m_first->setEnabled(m_index > m_firstIndex);
    m_prior->setEnabled(m_index > m_firstIndex);
    m_next->setEnabled(!counted || m_index < last);
    m_last->setEnabled(!counted || m_index < last);
    const QSize page = pageSizeOnScreen();
    m_view->setFixedSize(page + QSize(2 * kPageMargin + kShadow, 2 * kPageMargin + kShadow));
}

void TReportPreview::stopWhenGone() {
    m_counter.stop();
    m_cache.clear();
    close();
}

void TReportPreview::closeEvent(QCloseEvent* event) {
    event->accept();
    // While pages are being printed or saved from here, the window only hides
    // and goes once that has ended.
    if (m_busy)
        m_deleteWhenIdle = true;
    else
        deleteLater();
}

void TReportPreview::produce(const std::function<TOutputResult(const TBetweenPages&)>& work) {
    try {
        TReportProgress::produce(this, m_run->title(),
                                 !(m_run->report() && m_run->report()->suppressStatus()), work);
    } catch (const std::exception& error) {
        qly::showErrorBox(QString::fromStdString(error.what()), isVisible() ? this : nullptr);
    }
}

// From the first window it opens until the last page is out, the preview
// does not go, even when it is closed meanwhile.
class TReportPreview::Busy {
public:
    explicit Busy(TReportPreview* preview) : m_preview(preview) { m_preview->m_busy = true; }
    ~Busy() {
        m_preview->m_busy = false;
        if (m_preview->m_deleteWhenIdle)
            m_preview->deleteLater();
    }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    TReportPreview* m_preview;
};

void TReportPreview::print() {
    if (m_busy || !m_run->valid())
        return;
    const Busy busy(this);
    TReportDestination prompt(m_run->title(), this);
    prompt.restrictToPrinter();
    if (prompt.exec() != QDialog::Accepted)
        return;
    const TPageSelection pages = prompt.selection();
    std::shared_ptr<QPrinter> printer = prompt.takePrinter();
    produce([this, pages, printer](const TBetweenPages& between) {
        return printPages(*m_run, *printer, pages, between);
    });
}

void TReportPreview::saveAsPdf() {
    if (m_busy || !m_run->valid())
        return;
    const Busy busy(this);
    const QString file = TReportDestination::askPdfFileName(this, m_run->title());
    if (file.isEmpty())
        return;
    TPageSelection pages = m_selection;
    pages.copies = 1;
    produce([this, file, pages](const TBetweenPages& between) {
        return writePdf(*m_run, file, pages, between);
    });
}
