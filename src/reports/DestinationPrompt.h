#pragma once

#include "reports/PageOutput.h"

#include <QDialog>
#include <QString>

#include <memory>

class QButtonGroup;
class QCheckBox;
class QLabel;
class QPrinter;
class QRadioButton;
class QSpinBox;

// The "Report Destination" window a run asks first: where the pages go
// (Printer, Screen or a PDF file; Screen preselected), which pages (All, or
// From/To), how many copies and whether they are collated, and a printer
// set-up button. OK with "PDF file" asks for the file; OK with "Printer"
// and no printer to print to says so and stays open. Cancel ends the run
// without output.
class TReportDestination : public QDialog {
    Q_OBJECT

public:
    enum Destination { Printer, Screen, PdfFile };

    explicit TReportDestination(const QString& reportTitle, QWidget* parent = nullptr);
    ~TReportDestination() override;

    Destination destination() const;
    TPageSelection selection() const;
    // The file chosen for the PDF destination.
    QString pdfFileName() const { return m_pdfFile; }
    // The printer of the Printer destination, as set up.
    QPrinter* printer() const { return m_printer.get(); }
    std::unique_ptr<QPrinter> takePrinter();

    // Leaves only the Printer destination (printing from a preview).
    void restrictToPrinter();

    // Asks for the name of a PDF file to save a report in: the folder of the
    // last one saved, at first the user's documents folder, and the report's
    // title as the name. Empty when cancelled.
    static QString askPdfFileName(QWidget* parent, const QString& reportTitle);

public slots:
    void accept() override;
    void setUpPrinter();

private:
    bool printerReady() const;
    void showPrinterName();
    void updateControls();

    QString m_title;
    QString m_pdfFile;
    std::unique_ptr<QPrinter> m_printer;
    QButtonGroup* m_destinations = nullptr;
    QRadioButton* m_printerButton = nullptr;
    QRadioButton* m_screenButton = nullptr;
    QRadioButton* m_pdfButton = nullptr;
    QLabel* m_printerName = nullptr;
    QRadioButton* m_allPages = nullptr;
    QRadioButton* m_somePages = nullptr;
    QSpinBox* m_from = nullptr;
    QSpinBox* m_to = nullptr;
    QSpinBox* m_copies = nullptr;
    QCheckBox* m_collate = nullptr;
};
