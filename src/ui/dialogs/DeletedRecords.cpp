#include "ui/dialogs/DeletedRecords.h"

#include "data/CsvTransfer.h"
#include "data/DataModule2.h"
#include "data/DbTable.h"
#include "ui_DeletedRecords.h"
#include "widgets/data/ErrorBox.h"

#include <QHeaderView>
#include <QTableWidgetItem>

#include <algorithm>
#include <exception>
#include <set>

TDeletedRecords::TDeletedRecords(TDataModule2* dataModule, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::TDeletedRecords>()),
      m_dataModule(dataModule) {
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(13);
    setFont(font);
    setFixedSize(size());
    QTableWidget* list = ui->RecordList;
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->verticalHeader()->hide();
    list->horizontalHeader()->setStretchLastSection(true);
    connect(ui->TableBox, &QComboBox::currentIndexChanged, this, &TDeletedRecords::reload);
    connect(ui->FilterEdit, &QLineEdit::textChanged, this, &TDeletedRecords::applyFilter);
    connect(ui->RecallButton, &QPushButton::clicked, this, &TDeletedRecords::recall);
    connect(ui->CloseButton, &QPushButton::clicked, this, &QDialog::close);
    // A record deleted in the window meanwhile joins the list.
    if (m_dataModule) {
        for (TDbTable* table : {m_dataModule->MainT, m_dataModule->ManufT, m_dataModule->LocationT})
            connect(table, &TDbTable::afterDelete, this, [this, table] {
                if (chosenTable() == table)
                    reload();
            });
    }
    reload();
}

TDeletedRecords::~TDeletedRecords() = default;

TDbTable* TDeletedRecords::chosenTable() const {
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

void TDeletedRecords::reload() {
    QTableWidget* list = ui->RecordList;
    list->clearSelection();
    list->setRowCount(0);
    TDbTable* table = chosenTable();
    if (!table)
        return;
    std::vector<qly::csv::DeletedRecord> records;
    std::string path, error;
    if (!qly::csv::listDeleted(table->resolvedPath().toStdString(), records, path, error)) {
        ui->StatusLabel->setText(QString::fromStdString(error));
        return;
    }
    QStringList titles{QStringLiteral("Record")};
    if (!records.empty()) {
        for (const auto& key : records.front().keys)
            titles << QString::fromStdString(key.first);
    }
    list->setColumnCount(titles.size());
    list->setHorizontalHeaderLabels(titles);
    list->setRowCount(static_cast<int>(records.size()));
    for (size_t r = 0; r < records.size(); ++r) {
        const int row = static_cast<int>(r);
        auto* number = new QTableWidgetItem(QString::number(records[r].recno));
        number->setData(Qt::UserRole, static_cast<qulonglong>(records[r].recno));
        number->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        list->setItem(row, 0, number);
        for (size_t k = 0; k < records[r].keys.size(); ++k)
            list->setItem(row, static_cast<int>(k) + 1,
                          new QTableWidgetItem(QString::fromStdString(records[r].keys[k].second)));
    }
    list->resizeColumnToContents(0);
    ui->StatusLabel->setText(QStringLiteral("%1 deleted records in %2")
                                 .arg(records.size())
                                 .arg(QString::fromStdString(path)));
    applyFilter();
}

void TDeletedRecords::applyFilter() {
    const QString text = ui->FilterEdit->text().trimmed();
    QTableWidget* list = ui->RecordList;
    for (int row = 0; row < list->rowCount(); ++row) {
        bool match = text.isEmpty();
        for (int c = 0; !match && c < list->columnCount(); ++c) {
            const QTableWidgetItem* item = list->item(row, c);
            match = item && item->text().contains(text, Qt::CaseInsensitive);
        }
        list->setRowHidden(row, !match);
        if (!match)
            for (int c = 0; c < list->columnCount(); ++c)
                if (QTableWidgetItem* item = list->item(row, c))
                    item->setSelected(false);
    }
}

void TDeletedRecords::recall() {
    QTableWidget* list = ui->RecordList;
    std::set<uint32_t> chosen;
    for (const QTableWidgetItem* item : list->selectedItems()) {
        if (list->isRowHidden(item->row()))
            continue;
        if (const QTableWidgetItem* number = list->item(item->row(), 0))
            chosen.insert(static_cast<uint32_t>(number->data(Qt::UserRole).toULongLong()));
    }
    if (chosen.empty()) {
        ui->StatusLabel->setText(QStringLiteral("Select the records to recall."));
        return;
    }
    TDbTable* table = chosenTable();
    if (!table)
        return;
    try {
        // A pending edit of the table is posted first, as a move would post it.
        if (table->active())
            table->checkBrowseMode();
    } catch (const std::exception& error) {
        qly::showErrorBox(QString::fromStdString(error.what()), this);
        return;
    }
    const qly::csv::RecallResult r = qly::csv::recallRecords(
        table->resolvedPath().toStdString(), std::vector<uint32_t>(chosen.begin(), chosen.end()));
    QString message;
    if (!r.faults.empty()) {
        QStringList faults;
        for (const std::string& f : r.faults)
            faults << QString::fromStdString(f);
        message = faults.join(QStringLiteral("; ")) + QStringLiteral("; nothing was recalled");
    } else if (!r.ok) {
        message = QString::fromStdString(r.error);
        qly::showErrorBox(message, this);
    } else {
        message = QStringLiteral("Recalled %1 records").arg(r.recalled.size());
    }
    reload();
    ui->StatusLabel->setText(message);
    if (!r.recalled.empty())
        emit tableChanged(table);
}
