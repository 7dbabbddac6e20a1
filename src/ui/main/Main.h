#pragma once

#include <QList>
#include <QMainWindow>
#include <QPair>
#include <QSet>
#include <QString>

#include <memory>

class QAction;
class ItemPage;
class LocationPage;
class ManufacturerPage;
class QLabel;
class QMenu;
class TDataModule2;
class TDataSource;
class TDbTable;
class TFormScaler;

namespace Ui {
class TMain;
}

// The main window: the button bar down the left edge and, beside it, either
// the list view (ListP: the filterable grid of all items with the state,
// record count and date panes) or the detail view (DetailP: the notebook
// with the item, manufacturer and location pages). It lives for the whole
// run; closing it ends the program.
//
// Creation runs FormCreate, which reads the hint setting and writes today's
// date but touches no table: the data module does not exist yet. Once the
// data module exists, connectDataModule() binds the data-aware controls to
// its data sources. Handlers that fail throw QlyError; the application's
// event loop shows the message in the standard error box.
class TMain : public QMainWindow {
    Q_OBJECT

public:
    // Captions of the view switch, naming the view it switches to.
    static constexpr const char* kListViewCaption = "List View";
    static constexpr const char* kDetailViewCaption = "Detail View";
    static constexpr const char* kDeleteQuestion = "Are you sure you want to delete this record?";
    static constexpr const char* kTodayPrefix = " Today is: ";
    // The scratch table of the two lookup boxes, in the working folder.
    static constexpr const char* kLookupFileName = "LOOKUP.DBF";

    // Creates the window and runs FormCreate. Opens LOOKUP.DBF from the
    // working folder; when that fails, the table layer's error is shown and
    // lookupOpenFailed() is true (the program then ends).
    explicit TMain(QWidget* parent = nullptr);
    ~TMain() override;

    // Binds the grid, the state pane and the lookup boxes to the data
    // module's data sources (start-up step 6). The data module must outlive
    // the window's use of it.
    void connectDataModule(TDataModule2* dataModule);
    TDataModule2* dataModule() const { return m_dataModule; }

    bool lookupOpenFailed() const { return m_lookupOpenFailed; }
    TDbTable* lookupTable() const { return m_lookupT; }

    // The window's show-hints setting: governs the hints of the button bar
    // (and of widgets registered with governHint); the list view's choice
    // boxes show theirs whatever the setting.
    bool showHints() const { return m_showHints; }
    void setShowHints(bool on) { m_showHints = on; }
    void governHint(QWidget* widget);

    // The context menu (PopupMenu1).
    QMenu* popupMenu() const { return m_popupMenu; }
    // FormScaler1: fits the window to the screen and keeps its placement in
    // the layout file "qly32.ini" of the working folder.
    TFormScaler* formScaler() const { return m_formScaler; }

    bool listViewShown() const;

    // The pages of the detail view's notebook.
    ::ItemPage* itemPage() const { return m_itemPage; }
    ::ManufacturerPage* manufacturerPage() const { return m_manufacturerPage; }
    ::LocationPage* locationPage() const { return m_locationPage; }

public slots:
    void FormCreate();
    void FormShow();
    void UpdateTextDisplay();

    void BarButton1Click();  // Exit
    void BarButton2Click();  // switch view
    void BarButton3Click();  // Maintenance
    void BarButton4Click();  // Preferences
    void BarButton5Click();  // Reports
    void About1Click();
    void DBGrid1DblClick();

    void CheckBox1Click();
    void CheckBox2Click();
    void CheckBox3Click();
    void CheckBox4Click();
    void ComboBox1Change();
    void DBLookupCombo1Change();
    void DBLookupCombo2Change();

    void Cut1Click();
    void Copy1Click();
    void Paste1Click();
    void Delete1Click();
    void Contents1Click();

    // Commands added after the standard menu items.
    void Import1Click();          // File > Import…
    void Export1Click();          // File > Export…
    void DeletedRecords1Click();  // Edit > Deleted Records…

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void placePages();
    void buildPopupMenu();
    void connectHandlers();
    void openLookupTable();
    TDataSource* lookupCopy(TDbTable* original, const char* name);
    void showListView();
    void showDetailView();
    void focusFrontPage();
    void offsetFromOthers(QWidget* dialog);
    // Posts a modified pending edit or insert of the items; false (after
    // showing why) when the table refuses it.
    bool postPendingEdit();
    void setFilter(const QString& expression);
    // The indicator and label states of one choice (0 = name, 1 = category,
    // 2 = manufacturer, 3 = location).
    void markChoice(int choice);
    static void fitPane(QLabel* pane);
    void buildExtraMenuItems();
    void openImportExport(bool importing);
    // Records of the table were written past it (an import, a recall): the
    // table, its lookup copy and the count pane are read again.
    void tableChangedOutside(TDbTable* table);
    // Gathers what an open repaired and shows it in one box once the opens
    // in progress are done.
    void noteRepair(const QString& message);
    void showRepairs();

    std::unique_ptr<Ui::TMain> m_ui;
    QMenu* m_popupMenu = nullptr;
    TFormScaler* m_formScaler = nullptr;
    ::ItemPage* m_itemPage = nullptr;
    ::ManufacturerPage* m_manufacturerPage = nullptr;
    ::LocationPage* m_locationPage = nullptr;
    TDataModule2* m_dataModule = nullptr;
    TDbTable* m_lookupT = nullptr;
    TDataSource* m_dsLookup = nullptr;
    QList<QPair<TDbTable*, TDbTable*>> m_lookupCopies;  // original, copy
    QAction* m_import = nullptr;
    QAction* m_export = nullptr;
    QAction* m_deletedRecords = nullptr;
    QSet<QObject*> m_governed;  // widgets whose hints follow showHints
    bool m_showHints = false;
    bool m_lookupOpenFailed = false;
    bool m_settingChoice = false;
    bool m_closing = false;  // Exit has posted and closed the tables
    QStringList m_repairs;   // repair messages not shown yet
};
