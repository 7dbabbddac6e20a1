#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include <memory>

class TDataModule2;
class TDbTable;

namespace Ui {
class TImportExport;
}

// The Import… and Export… dialog of the main window's File menu: one of the
// three inventory tables to or from a CSV file.
//
// Import: the file's header columns are listed, each with the field it goes
// to (the field of the same name at first; a column may be skipped). A dry
// run only checks the file. A file with faults is refused whole and its
// faults are listed with line and column; a clean one is appended after a
// backup archive of the table, and tableChanged tells the window to read the
// table again. Export: the table's fields are listed, each checked to be
// written; rich-text memos go out as plain text unless kept.
//
// The work itself is data/CsvTransfer's, the same as qlyctl export and
// import. Not modal; the window owns it.
class TImportExport : public QDialog {
    Q_OBJECT

public:
    enum class Mode { Import, Export };
    static constexpr const char* kSkipColumn = "(skip)";

    TImportExport(Mode mode, TDataModule2* dataModule, QWidget* parent = nullptr);
    ~TImportExport() override;

    Mode mode() const { return m_mode; }
    // The table of the table box (nullptr without a data module).
    TDbTable* chosenTable() const;

signals:
    // Records were appended to the table (by an import).
    void tableChanged(TDbTable* table);

private slots:
    void tableChosen();
    void fileEdited();
    void browse();
    void run();

private:
    QString tableFile() const;
    void loadColumns();
    void showFaults(const QStringList& lines, int total);
    void runImport();
    void runExport();

    std::unique_ptr<Ui::TImportExport> ui;
    Mode m_mode;
    TDataModule2* m_dataModule;
    QString m_listedFile;  // the CSV file whose columns are listed
    int m_listedTable = -1;
    bool m_running = false;
};
