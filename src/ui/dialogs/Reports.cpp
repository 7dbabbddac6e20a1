#include "ui/dialogs/Reports.h"

#include "data/DataSource.h"
#include "data/Error.h"
#include "data/XbTable.h"
#include "reports/BandReport.h"
#include "reports/ListReports.h"
#include "settings/DataPath.h"
#include "settings/SettingsStore.h"
#include "ui_Reports.h"
#include "widgets/data/ErrorBox.h"
#include "widgets/help/HelpWindow.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QShowEvent>
#include <QTime>

#include <exception>

QString TReports::s_dataPath;

namespace {

// The items of RadioGroup1, by position.
enum ReportChoice { kMainReport = 0, kLocationReport = 1, kManufacturerReport = 2 };

}  // namespace

TReports::TReports(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::TReports>()) {
    ui->setupUi(this);

    // Not rescaled: the form keeps its design pixels whatever the font size.
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(13);
    setFont(font);
    setFixedSize(381, 292);

    m_items = new QButtonGroup(this);
    const QList<QRadioButton*> items = {ui->RadioGroup1Item0, ui->RadioGroup1Item1,
                                        ui->RadioGroup1Item2};
    for (int i = 0; i < items.size(); ++i)
        m_items->addButton(items[i], i);

    XbTable1 = makeTable("XbTable1", "MAIN.DBF", "DataSource1");
    XbTable2 = makeTable("XbTable2", "Location.dbf", "DataSource2");
    XbTable3 = makeTable("XbTable3", "MANUFACT.DBF", "DataSource3");
    DataSource1 = XbTable1->ownDataSource();
    DataSource2 = XbTable2->ownDataSource();
    DataSource3 = XbTable3->ownDataSource();
    Report1 = qly::reports::makeManufacturersReport(DataSource3, this);
    Report2 = qly::reports::makeItemsReport(DataSource1, this);
    Report3 = qly::reports::makeLocationsReport(DataSource2, this);
    TimeLabel1 = Report1->label(QStringLiteral("TimeLabel1"));
    TimeLabel2 = Report2->label(QStringLiteral("TimeLabel2"));
    TimeLabel3 = Report3->label(QStringLiteral("TimeLabel3"));

    connect(m_items, &QButtonGroup::idClicked, this, [this] { RadioGroup1Click(); });
    connect(ui->Button2, &QPushButton::clicked, this, [this] { guarded(&TReports::Button2Click); });
    connect(ui->Button1, &QPushButton::clicked, this, [this] { guarded(&TReports::Button1Click); });
    auto* f1 = new QShortcut(QKeySequence::HelpContents, this);
    connect(f1, &QShortcut::activated, this, &TReports::showContextHelp);

    // A failure reading the settings skips the rest of the creation only;
    // the dialog opens all the same.
    try {
        FormCreate();
    } catch (const std::exception& error) {
        qly::showErrorBox(QString::fromStdString(error.what()), parent);
    }

    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

TReports::~TReports() {
    closeTables();
}

TXbTable* TReports::makeTable(const char* name, const char* file, const char* sourceName) {
    auto* table = new TXbTable(this);
    table->setObjectName(QString::fromLatin1(name));
    table->setTableName(QString::fromLatin1(file));
    table->setDisplayLabel(QString::fromLatin1(file));
    table->setTurboRead(false);
    table->ownDataSource()->setObjectName(QString::fromLatin1(sourceName));
    return table;
}

QString TReports::dataPath() {
    return s_dataPath;
}

void TReports::guarded(void (TReports::*handler)()) {
    try {
        (this->*handler)();
    } catch (const std::exception& error) {
        qly::showErrorBox(QString::fromStdString(error.what()),
                          isVisible() ? this : parentWidget());
    }
}

// ---- Creation

void TReports::FormCreate() {
    ReadReg();
    if (s_dataPath.isEmpty())
        s_dataPath = QString::fromStdString(qly::programFolder());
}

void TReports::ReadReg() {
    qly::SettingsStore reg;
    if (!reg.open()) {
        // Nothing read; no folder of an earlier dialog stays behind either.
        s_dataPath.clear();
        return;
    }
    std::string path;
    const qly::SettingsStatus status = reg.readString(qly::kValuePath, &path);
    reg.close();
    if (!status.ok())
        throw QlyError(status.message());
    s_dataPath = QString::fromStdString(path);
    if (s_dataPath.isEmpty())
        s_dataPath = QString::fromStdString(qly::programFolder());
    CheckPath();
}

void TReports::CheckPath() {
    s_dataPath = QString::fromStdString(qly::appendPathSeparator(s_dataPath.toStdString()));
}

// ---- Showing

void TReports::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        guarded(&TReports::FormShow);
}

void TReports::FormShow() {
    // Every table learns its folder first, so that a run can still open one
    // that stayed closed here.
    for (TXbTable* table : {XbTable1, XbTable2, XbTable3}) {
        if (!table->active())
            table->setDatabaseName(s_dataPath);
    }
    // In this order; a table that fails leaves the ones after it closed.
    for (TXbTable* table : {XbTable1, XbTable2, XbTable3})
        table->open();
}

// ---- Running

void TReports::RadioGroup1Click() {
    ui->Button2->setEnabled(true);
}

void TReports::Button2Click() {
    switch (m_items->checkedId()) {
        case kMainReport:
            MainReport();
            break;
        case kLocationReport:
            LocationReport();
            break;
        case kManufacturerReport:
            ManufacturerReport();
            break;
        default:
            break;
    }
}

void TReports::MainReport() {
    TimeLabel2->setText(qly::reports::longTimeText(QTime::currentTime()));
    Report2->run(this);
}

void TReports::LocationReport() {
    TimeLabel3->setText(qly::reports::longTimeText(QTime::currentTime()));
    Report3->run(this);
}

void TReports::ManufacturerReport() {
    TimeLabel1->setText(qly::reports::longTimeText(QTime::currentTime()));
    Report1->run(this);
}

// ---- Closing and help

void TReports::closeTables() {
    for (TXbTable* table : {XbTable1, XbTable2, XbTable3})
        table->close();
}

void TReports::Button1Click() {
    closeTables();
    close();
}

void TReports::reject() {
    close();
}

void TReports::closeEvent(QCloseEvent* event) {
    // The close box closes the tables as "Close" does: a hidden dialog holds
    // no table open.
    closeTables();
    event->accept();
}

void TReports::showContextHelp() {
    qly::HelpWindow::showTopic(kHelpContext);
}
