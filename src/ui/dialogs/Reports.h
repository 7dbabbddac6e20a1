#pragma once

#include <QDialog>
#include <QString>

#include <memory>

class QButtonGroup;
class QCloseEvent;
class QShowEvent;
class TBandReport;
class TDataSource;
class TVarLabel;
class TXbTable;

namespace Ui {
class TReports;
}

// The reports dialog: pick one of the three list reports and run it. It
// owns three tables of its own on the table files of the data path,
// separate from the data module's, and the three report definitions that
// read them; a run prints what the files hold, whatever filter or record
// the main window has.
//
// The main window creates a new one for each use of its Reports command and
// shows it without making it modal; several may be open at once, each with
// its own tables, and they live as long as the main window. Closing one
// (with "Close" or the window's close box) closes its tables and hides it;
// a run still producing pages then stops without reading a closed table.
//
// Failures of the handlers are shown in the standard error box; the dialog
// goes on.
class TReports : public QDialog {
    Q_OBJECT

public:
    static constexpr int kHelpContext = 3005;

    explicit TReports(QWidget* parent = nullptr);
    ~TReports() override;

    // The data path of the reports dialogs: held once for all of them and
    // read anew by each creation. Ends in "/" once established.
    static QString dataPath();

    // Components, named as on the form.
    TXbTable* XbTable1 = nullptr;  // MAIN.DBF
    TXbTable* XbTable2 = nullptr;  // Location.dbf
    TXbTable* XbTable3 = nullptr;  // MANUFACT.DBF
    TDataSource* DataSource1 = nullptr;
    TDataSource* DataSource2 = nullptr;
    TDataSource* DataSource3 = nullptr;
    TBandReport* Report1 = nullptr;  // manufacturers
    TBandReport* Report2 = nullptr;  // items
    TBandReport* Report3 = nullptr;  // locations
    TVarLabel* TimeLabel1 = nullptr;
    TVarLabel* TimeLabel2 = nullptr;
    TVarLabel* TimeLabel3 = nullptr;

public slots:
    void FormCreate();
    void ReadReg();
    void CheckPath();
    void FormShow();
    void RadioGroup1Click();
    void Button2Click();
    void MainReport();
    void LocationReport();
    void ManufacturerReport();
    void Button1Click();
    // F1: the dialog's help topic.
    void showContextHelp();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;  // Escape closes like "Close"

private:
    // Runs a handler, showing what it throws in the standard error box.
    void guarded(void (TReports::*handler)());
    void closeTables();
    TXbTable* makeTable(const char* name, const char* file, const char* sourceName);

    std::unique_ptr<Ui::TReports> ui;
    QButtonGroup* m_items = nullptr;  // RadioGroup1

    static QString s_dataPath;
};
