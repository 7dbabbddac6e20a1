#pragma once

#include "reports/PageOutput.h"

#include <QDialog>
#include <QString>

#include <functional>

class QLabel;
class QPushButton;

// The progress window of a run whose pages go to a printer or a file: the
// report's title, the number of the page just produced and Cancel. It is not
// modal: the program's other windows stay usable while the pages are
// produced, because the event loop runs after every page.
class TReportProgress : public QDialog {
    Q_OBJECT

public:
    explicit TReportProgress(const QString& reportTitle, QWidget* parent = nullptr);
    ~TReportProgress() override;

    // Shows the page number and lets the event loop run; false once Cancel
    // was pressed or the window closed.
    bool pageDone(int pageNumber);
    bool cancelled() const { return m_cancelled; }

    // Runs work, which produces pages and calls the function it is given
    // after each one, with a progress window of parent shown while it runs
    // (none with show off: the event loop still runs between pages). The
    // window goes when the work ends.
    static TOutputResult produce(QWidget* parent, const QString& reportTitle, bool show,
                                 const std::function<TOutputResult(const TBetweenPages&)>& work);

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    QLabel* m_page = nullptr;
    QPushButton* m_cancel = nullptr;
    bool m_cancelled = false;
};
