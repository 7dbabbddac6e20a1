#pragma once

#include <QDialog>

#include <memory>

class TDataModule2;
class TDbTable;

namespace Ui {
class TDeletedRecords;
}

// The Deleted Records window of the main window's Edit menu: the records a
// deletion marked in the items, manufacturers or locations table (the
// tables are never packed, so their bytes are still there), with their
// record numbers and the fields a user knows them by. The find box narrows
// the list to rows that contain its text; Recall brings the selected
// records back, and tableChanged tells the window to read the table again.
//
// The listing and recall are data/CsvTransfer's, the same as qlyctl deleted
// and recall. Not modal; the window owns it.
class TDeletedRecords : public QDialog {
    Q_OBJECT

public:
    explicit TDeletedRecords(TDataModule2* dataModule, QWidget* parent = nullptr);
    ~TDeletedRecords() override;

    TDbTable* chosenTable() const;
    // Reads the list again (the table may have changed meanwhile).
    void reload();

signals:
    void tableChanged(TDbTable* table);

private slots:
    void applyFilter();
    void recall();

private:
    std::unique_ptr<Ui::TDeletedRecords> ui;
    TDataModule2* m_dataModule;
};
