#include "reports/DestinationPrompt.h"

#include "reports/Messages.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kMaxPage = 99999;
constexpr int kMaxCopies = 999;

// The folder of the last PDF file saved in this run of the program.
QString& lastPdfFolder() {
    static QString folder;
    return folder;
}

template <class Widget>
Widget* named(Widget* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

}  // namespace

TReportDestination::TReportDestination(const QString& reportTitle, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_title(reportTitle),
      m_printer(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
    setObjectName(QStringLiteral("ReportDestination"));
    setWindowTitle(QString::fromLatin1(qly::reports::msg::kPromptTitle));

    auto* where = named(new QGroupBox(QStringLiteral("Destination"), this), "DestinationGroup");
    m_printerButton = named(new QRadioButton(QStringLiteral("&Printer"), where), "PrinterButton");
    m_printerName = named(new QLabel(where), "PrinterName");
    m_screenButton = named(new QRadioButton(QStringLiteral("&Screen"), where), "ScreenButton");
    m_pdfButton = named(new QRadioButton(QStringLiteral("P&DF file"), where), "PdfButton");
    m_destinations = new QButtonGroup(this);
    m_destinations->addButton(m_printerButton, Printer);
    m_destinations->addButton(m_screenButton, Screen);
    m_destinations->addButton(m_pdfButton, PdfFile);
    m_screenButton->setChecked(true);
    auto* whereLayout = new QGridLayout(where);
    whereLayout->addWidget(m_printerButton, 0, 0);
    whereLayout->addWidget(m_printerName, 0, 1);
    whereLayout->addWidget(m_screenButton, 1, 0);
    whereLayout->addWidget(m_pdfButton, 2, 0);
    whereLayout->setColumnStretch(1, 1);

    auto* range = named(new QGroupBox(QStringLiteral("Page range"), this), "RangeGroup");
    m_allPages = named(new QRadioButton(QStringLiteral("&All"), range), "AllPagesButton");
    m_somePages = named(new QRadioButton(QStringLiteral("Pa&ges"), range), "PagesButton");
    m_allPages->setChecked(true);
    m_from = named(new QSpinBox(range), "FromPage");
    m_to = named(new QSpinBox(range), "ToPage");
    for (QSpinBox* box : {m_from, m_to}) {
        box->setRange(1, kMaxPage);
        box->setValue(1);
    }
    auto* rangeLayout = new QGridLayout(range);
    rangeLayout->addWidget(m_allPages, 0, 0, 1, 5);
    rangeLayout->addWidget(m_somePages, 1, 0);
    rangeLayout->addWidget(new QLabel(QStringLiteral("From:"), range), 1, 1);
    rangeLayout->addWidget(m_from, 1, 2);
    rangeLayout->addWidget(new QLabel(QStringLiteral("To:"), range), 1, 3);
    rangeLayout->addWidget(m_to, 1, 4);

    m_copies = named(new QSpinBox(this), "Copies");
    m_copies->setRange(1, kMaxCopies);
    m_collate = named(new QCheckBox(QStringLiteral("C&ollate"), this), "Collate");
    m_collate->setChecked(true);
    auto* copiesLayout = new QHBoxLayout;
    copiesLayout->addWidget(new QLabel(QStringLiteral("Copies:"), this));
    copiesLayout->addWidget(m_copies);
    copiesLayout->addWidget(m_collate);
    copiesLayout->addStretch(1);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("OkButton"));
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setObjectName(QStringLiteral("CancelButton"));
    QPushButton* setup =
        buttons->addButton(QStringLiteral("Set-&up..."), QDialogButtonBox::ActionRole);
    setup->setObjectName(QStringLiteral("SetupButton"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(where);
    layout->addWidget(range);
    layout->addLayout(copiesLayout);
    layout->addWidget(buttons);

    connect(ok, &QPushButton::clicked, this, &TReportDestination::accept);
    connect(cancel, &QPushButton::clicked, this, &TReportDestination::reject);
    connect(setup, &QPushButton::clicked, this, &TReportDestination::setUpPrinter);
    connect(m_destinations, &QButtonGroup::idToggled, this, [this] { updateControls(); });
    connect(m_somePages, &QRadioButton::toggled, this, [this] { updateControls(); });
    connect(m_copies, &QSpinBox::valueChanged, this, [this] { updateControls(); });
    connect(m_from, &QSpinBox::valueChanged, this, [this](int from) { m_to->setMinimum(from); });
    showPrinterName();
    updateControls();
}

TReportDestination::~TReportDestination() = default;

TReportDestination::Destination TReportDestination::destination() const {
    return static_cast<Destination>(m_destinations->checkedId());
}

TPageSelection TReportDestination::selection() const {
    TPageSelection pages;
    if (m_somePages->isChecked()) {
        pages.fromPage = m_from->value();
        pages.toPage = m_to->value();
    }
    pages.copies = m_copies->value();
    pages.collate = m_collate->isChecked();
    return pages;
}

std::unique_ptr<QPrinter> TReportDestination::takePrinter() {
    return std::move(m_printer);
}

void TReportDestination::restrictToPrinter() {
    m_printerButton->setChecked(true);
    m_screenButton->setEnabled(false);
    m_pdfButton->setEnabled(false);
}

bool TReportDestination::printerReady() const {
    if (!m_printer || !m_printer->isValid())
        return false;
    // Without a printer the printer falls back to PDF, which needs a file.
    return m_printer->outputFormat() == QPrinter::NativeFormat ||
           !m_printer->outputFileName().isEmpty();
}

void TReportDestination::showPrinterName() {
    if (!printerReady())
        m_printerName->setText(QString::fromLatin1(qly::reports::msg::kNoPrinterName));
    else if (m_printer->outputFormat() == QPrinter::NativeFormat)
        m_printerName->setText(m_printer->printerName());
    else
        m_printerName->setText(QDir::toNativeSeparators(m_printer->outputFileName()));
}

void TReportDestination::updateControls() {
    m_from->setEnabled(m_somePages->isChecked());
    m_to->setEnabled(m_somePages->isChecked());
    const bool printing = m_printerButton->isChecked();
    m_copies->setEnabled(printing);
    m_collate->setEnabled(printing && m_copies->value() > 1);
}

void TReportDestination::setUpPrinter() {
    m_printer->setCopyCount(m_copies->value());
    m_printer->setCollateCopies(m_collate->isChecked());
    QPrintDialog dialog(m_printer.get(), this);
    dialog.setObjectName(QStringLiteral("PrinterSetup"));
    dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintCollateCopies |
                      QAbstractPrintDialog::PrintShowPageSize);
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_copies->setValue(std::clamp(m_printer->copyCount(), 1, kMaxCopies));
    m_collate->setChecked(m_printer->collateCopies());
    m_printerButton->setChecked(true);
    showPrinterName();
}

void TReportDestination::accept() {
    switch (destination()) {
        case Printer:
            if (!printerReady()) {
                QMessageBox::warning(this, windowTitle(),
                                     QString::fromLatin1(qly::reports::msg::kNoPrinter));
                return;
            }
            break;
        case PdfFile:
            m_pdfFile = askPdfFileName(this, m_title);
            if (m_pdfFile.isEmpty())
                return;
            break;
        case Screen:
            break;
    }
    QDialog::accept();
}

QString TReportDestination::askPdfFileName(QWidget* parent, const QString& reportTitle) {
    QString folder = lastPdfFolder();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    QFileDialog dialog(parent, QString::fromLatin1(qly::reports::msg::kPdfDialogTitle), folder,
                       QString::fromLatin1(qly::reports::msg::kPdfFilter));
    dialog.setObjectName(QStringLiteral("PdfFileDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    dialog.selectFile(reportTitle + QStringLiteral(".pdf"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    const QString file = dialog.selectedFiles().constFirst();
    lastPdfFolder() = QFileInfo(file).absolutePath();
    return file;
}
