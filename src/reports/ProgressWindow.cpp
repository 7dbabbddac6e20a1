#include "reports/ProgressWindow.h"

#include "reports/Messages.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

TReportProgress::TReportProgress(const QString& reportTitle, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("ReportProgress"));
    setWindowTitle(reportTitle);
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(reportTitle, this);
    title->setObjectName(QStringLiteral("ProgressTitle"));
    m_page = new QLabel(this);
    m_page->setObjectName(QStringLiteral("ProgressPage"));
    m_page->setMinimumWidth(200);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("ProgressCancel"));
    m_cancel->setAutoDefault(false);
    layout->addWidget(title);
    layout->addWidget(m_page);
    layout->addWidget(m_cancel, 0, Qt::AlignHCenter);
    connect(m_cancel, &QPushButton::clicked, this, [this] { m_cancelled = true; });
}

TReportProgress::~TReportProgress() = default;

bool TReportProgress::pageDone(int pageNumber) {
    m_page->setText(QString::fromLatin1(qly::reports::msg::kProgressPage).arg(pageNumber));
    QCoreApplication::processEvents();
    return !m_cancelled;
}

void TReportProgress::closeEvent(QCloseEvent* event) {
    m_cancelled = true;
    event->accept();
}

void TReportProgress::reject() {
    m_cancelled = true;
    QDialog::reject();
}

TOutputResult TReportProgress::produce(
    QWidget* parent, const QString& reportTitle, bool show,
    const std::function<TOutputResult(const TBetweenPages&)>& work) {
    // The parent may go while the event loop runs: the window then goes
    // with it and the work is told to stop.
    QPointer<TReportProgress> window;
    if (show) {
        window = new TReportProgress(reportTitle, parent);
        window->show();
    }
    struct Closer {
        QPointer<TReportProgress>& window;
        ~Closer() { delete window.data(); }
    } closer{window};
    return work([show, &window](int pageNumber) {
        if (!show) {
            QCoreApplication::processEvents();
            return true;
        }
        return window && window->pageDone(pageNumber);
    });
}
