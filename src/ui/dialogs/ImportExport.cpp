#include "ui/dialogs/ImportExport.h"

#include "data/CsvTransfer.h"
#include "data/DataModule2.h"
#include "data/DbTable.h"
#include "ui_ImportExport.h"
#include "widgets/data/ErrorBox.h"
#include "widgets/richtext/Rtf.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QTableWidgetItem>

#include <exception>

namespace {

constexpr int kFaultsShown = 1000;  // the list stops there; the count says how many

QString fromUtf8(const std::string& s) {
    return QString::fromStdString(s);
}

std::string local(const QString& s) {
    return s.toStdString();
}

}  // namespace

TImportExport::TImportExport(Mode mode, TDataModule2* dataModule, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::TImportExport>()),
      m_mode(mode),
      m_dataModule(dataModule) {
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(13);
    setFont(font);
    setFixedSize(size());
    const bool importing = mode == Mode::Import;
    setObjectName(importing ? QStringLiteral("ImportDialog") : QStringLiteral("ExportDialog"));
    setWindowTitle(importing ? QStringLiteral("Import") : QStringLiteral("Export"));
    ui->RunButton->setText(importing ? QStringLiteral("&Import") : QStringLiteral("&Export"));
    ui->DryRunBox->setVisible(importing);
    ui->KeepRtfBox->setVisible(!importing);
    ui->MappingLabel->setText(importing ? QStringLiteral("Columns of the file and their fields:")
                                        : QStringLiteral("Fields written (in this order):"));
    ui->MappingTable->setColumnCount(importing ? 2 : 1);
    ui->MappingTable->setHorizontalHeaderLabels(
        importing ? QStringList{QStringLiteral("Column"), QStringLiteral("Field")}
                  : QStringList{QStringLiteral("Field")});
    ui->MappingTable->horizontalHeader()->setStretchLastSection(true);
    ui->MappingTable->verticalHeader()->hide();
    ui->MappingTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui->ProgressBar->setRange(0, 1);
    ui->ProgressBar->setValue(0);

    connect(ui->TableBox, &QComboBox::currentIndexChanged, this, &TImportExport::tableChosen);
    connect(ui->FileEdit, &QLineEdit::editingFinished, this, &TImportExport::fileEdited);
    connect(ui->FileEdit, &QLineEdit::returnPressed, this, &TImportExport::run);
    connect(ui->BrowseButton, &QPushButton::clicked, this, &TImportExport::browse);
    connect(ui->RunButton, &QPushButton::clicked, this, &TImportExport::run);
    connect(ui->CloseButton, &QPushButton::clicked, this, &QDialog::close);
    if (!importing)
        loadColumns();
}

TImportExport::~TImportExport() = default;

TDbTable* TImportExport::chosenTable() const {
    if (!m_dataModule)
        return nullptr;
    switch (ui->TableBox->currentIndex()) {
        case 0:
            return m_dataModule->MainT;
        case 1:
            return m_dataModule->ManufT;
        case 2:
            return m_dataModule->LocationT;
        default:
            return nullptr;
    }
}

QString TImportExport::tableFile() const {
    TDbTable* table = chosenTable();
    return table ? table->resolvedPath() : QString();
}

void TImportExport::tableChosen() {
    if (m_mode == Mode::Export || !ui->FileEdit->text().trimmed().isEmpty())
        loadColumns();
}

void TImportExport::fileEdited() {
    if (m_mode == Mode::Import && ui->FileEdit->text().trimmed() != m_listedFile)
        loadColumns();
}

void TImportExport::browse() {
    const QString filter = QStringLiteral("CSV files (*.csv);;All files (*)");
    const QString start = ui->FileEdit->text().trimmed();
    const QString chosen =
        m_mode == Mode::Import
            ? QFileDialog::getOpenFileName(this, QStringLiteral("Import from"), start, filter)
            : QFileDialog::getSaveFileName(this, QStringLiteral("Export to"), start, filter);
    if (chosen.isEmpty())
        return;
    ui->FileEdit->setText(chosen);
    if (m_mode == Mode::Import)
        loadColumns();
}

// Lists what can be mapped: the file's columns with a field each (import) or
// the table's fields (export).
void TImportExport::loadColumns() {
    QTableWidget* grid = ui->MappingTable;
    grid->setRowCount(0);
    m_listedTable = ui->TableBox->currentIndex();
    std::vector<std::string> fields;
    std::string error;
    if (!qly::csv::tableFields(local(tableFile()), fields, error)) {
        ui->StatusLabel->setText(fromUtf8(error));
        return;
    }
    if (m_mode == Mode::Export) {
        grid->setRowCount(static_cast<int>(fields.size()));
        for (size_t k = 0; k < fields.size(); ++k) {
            auto* item = new QTableWidgetItem(fromUtf8(fields[k]));
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
            item->setCheckState(Qt::Checked);
            grid->setItem(static_cast<int>(k), 0, item);
        }
        return;
    }
    m_listedFile = ui->FileEdit->text().trimmed();
    if (m_listedFile.isEmpty())
        return;
    std::vector<std::string> columns;
    if (!qly::csv::readHeader(local(m_listedFile), columns, error)) {
        ui->StatusLabel->setText(fromUtf8(error));
        return;
    }
    ui->StatusLabel->clear();
    grid->setRowCount(static_cast<int>(columns.size()));
    for (size_t c = 0; c < columns.size(); ++c) {
        const int row = static_cast<int>(c);
        const QString column = fromUtf8(columns[c]);
        grid->setItem(row, 0, new QTableWidgetItem(column));
        auto* box = new QComboBox(grid);
        box->setObjectName(QStringLiteral("FieldBox%1").arg(row));
        // No choice: the column must name a field itself (else it is a fault).
        box->addItem(QString());
        box->addItem(QString::fromLatin1(kSkipColumn));
        for (const std::string& f : fields)
            box->addItem(fromUtf8(f));
        const int same = box->findText(column.trimmed().toUpper(), Qt::MatchFixedString);
        box->setCurrentIndex(same >= 2 ? same : 0);
        grid->setCellWidget(row, 1, box);
    }
}

void TImportExport::showFaults(const QStringList& lines, int total) {
    ui->FaultList->clear();
    ui->FaultList->addItems(lines);
    if (total > lines.size())
        ui->FaultList->addItem(QStringLiteral("… and %1 more").arg(total - lines.size()));
}

void TImportExport::run() {
    if (m_running)
        return;
    if (ui->FileEdit->text().trimmed().isEmpty()) {
        ui->StatusLabel->setText(QStringLiteral("Choose a file first."));
        ui->FileEdit->setFocus(Qt::OtherFocusReason);
        return;
    }
    m_running = true;
    ui->RunButton->setEnabled(false);
    ui->FaultList->clear();
    try {
        if (m_mode == Mode::Import)
            runImport();
        else
            runExport();
    } catch (const std::exception& error) {
        ui->StatusLabel->setText(QString::fromStdString(error.what()));
        qly::showErrorBox(QString::fromStdString(error.what()), this);
    }
    ui->RunButton->setEnabled(true);
    m_running = false;
}

namespace {

// Shows a long run's progress; the window keeps painting meanwhile.
qly::csv::Progress progressOn(QProgressBar* bar) {
    return [bar](const char* phase, size_t done, size_t total) {
        constexpr size_t kSteps = 1000;
        bar->setRange(0, static_cast<int>(kSteps));
        bar->setValue(total ? static_cast<int>(done * kSteps / total) : 0);
        bar->setFormat(QString::fromLatin1(phase) + QStringLiteral(" %p%"));
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
}

}  // namespace

void TImportExport::runImport() {
    const QString file = ui->FileEdit->text().trimmed();
    if (file != m_listedFile || ui->TableBox->currentIndex() != m_listedTable)
        loadColumns();
    qly::csv::ImportOptions options;
    options.dryRun = ui->DryRunBox->isChecked();
    for (int row = 0; row < ui->MappingTable->rowCount(); ++row) {
        auto* box = qobject_cast<QComboBox*>(ui->MappingTable->cellWidget(row, 1));
        const QTableWidgetItem* column = ui->MappingTable->item(row, 0);
        if (!box || !column || box->currentIndex() == 0)
            continue;
        const std::string name = local(column->text().trimmed().toUpper());
        options.mapping[name] =
            box->currentIndex() == 1 ? std::string() : local(box->currentText().toUpper());
    }
    options.progress = progressOn(ui->ProgressBar);
    TDbTable* table = chosenTable();
    // A pending edit of the table is posted first, as a move would post it.
    if (!options.dryRun && table && table->active())
        table->checkBrowseMode();
    ui->StatusLabel->setText(QStringLiteral("Checking %1…").arg(file));
    const qly::csv::ImportResult r =
        qly::csv::importTable(local(tableFile()), local(file), options);
    ui->ProgressBar->setRange(0, 1);
    ui->ProgressBar->setValue(1);
    using Outcome = qly::csv::ImportResult::Outcome;
    switch (r.outcome) {
        case Outcome::Refused: {
            QStringList lines;
            for (size_t k = 0; k < r.faults.size() && k < kFaultsShown; ++k) {
                const qly::csv::Fault& f = r.faults[k];
                lines << (f.column > 0
                              ? QStringLiteral("%1:%2: %3")
                                    .arg(f.line)
                                    .arg(f.column)
                                    .arg(fromUtf8(f.text))
                              : QStringLiteral("%1: %2").arg(f.line).arg(fromUtf8(f.text)));
            }
            showFaults(lines, static_cast<int>(r.faults.size()));
            ui->StatusLabel->setText(QStringLiteral("%1 faults (line:column below); nothing was "
                                                    "written to %2")
                                         .arg(r.faults.size())
                                         .arg(fromUtf8(r.tablePath)));
            break;
        }
        case Outcome::Checked:
            ui->StatusLabel->setText(
                QStringLiteral("%1 rows can be imported into %2 (dry run: nothing written)")
                    .arg(r.rows)
                    .arg(fromUtf8(r.tablePath)));
            break;
        case Outcome::Imported:
            ui->StatusLabel->setText(QStringLiteral("Imported %1 rows into %2 (backup %3)")
                                         .arg(r.appended)
                                         .arg(fromUtf8(r.tablePath), fromUtf8(r.backupPath)));
            emit tableChanged(table);
            break;
        case Outcome::Failed:
            ui->StatusLabel->setText(fromUtf8(r.error));
            if (r.appended > 0)
                emit tableChanged(table);
            qly::showErrorBox(fromUtf8(r.error), this);
            break;
    }
}

void TImportExport::runExport() {
    const QString file = ui->FileEdit->text().trimmed();
    if (ui->TableBox->currentIndex() != m_listedTable)
        loadColumns();
    qly::csv::ExportOptions options;
    options.keepRtf = ui->KeepRtfBox->isChecked();
    for (int row = 0; row < ui->MappingTable->rowCount(); ++row) {
        const QTableWidgetItem* item = ui->MappingTable->item(row, 0);
        if (item && item->checkState() == Qt::Checked)
            options.fields.push_back(local(item->text()));
    }
    if (options.fields.empty()) {
        ui->StatusLabel->setText(QStringLiteral("Check at least one field."));
        return;
    }
    options.richText = [](const std::string& stored, std::string& plain) {
        return richtext::plainTextOfRtf(stored, plain);
    };
    options.progress = progressOn(ui->ProgressBar);
    const qly::csv::ExportResult r =
        qly::csv::exportTable(local(tableFile()), local(file), options);
    ui->ProgressBar->setRange(0, 1);
    ui->ProgressBar->setValue(1);
    if (!r.ok) {
        ui->StatusLabel->setText(fromUtf8(r.error));
        qly::showErrorBox(fromUtf8(r.error), this);
        return;
    }
    ui->StatusLabel->setText(QStringLiteral("Exported %1 records of %2 to %3")
                                 .arg(r.records)
                                 .arg(fromUtf8(r.tablePath), file));
}
