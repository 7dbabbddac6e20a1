#pragma once

#include <QList>
#include <QStringList>
#include <QWidget>

#include <memory>

class DBNavigator;
class DBLookupCombo;
class IncrementalSearch;
class TDataModule2;
class TDataSource;

namespace Ui {
class ItemPage;
}

// The "Item Detail" page of the detail view: every declared field of the
// current item in data-aware controls on DSMain, the "..." buttons that
// narrow the manufacturer or location page to the item's company or
// location, the "Find Item" search and the navigator DBNavigator1.
class ItemPage : public QWidget {
    Q_OBJECT

public:
    explicit ItemPage(QWidget* parent = nullptr);
    ~ItemPage() override;

    // The choices of the category box (sorted; the list view's without
    // "Bookshelves") and of the disposal method box.
    static QStringList categories();
    static QStringList disposalMethods();

    // Binds the controls to the data module's data sources.
    void connectDataModule(TDataModule2* dataModule);
    TDataModule2* dataModule() const { return m_dataModule; }
    // The tables the lookup boxes' lists read (by default the data
    // module's manufacturers and locations).
    void setLookupSources(TDataSource* manufacturers, TDataSource* locations);

    DBNavigator* navigator() const;
    IncrementalSearch* searchBox() const;
    DBLookupCombo* manufacturerBox() const;
    DBLookupCombo* locationBox() const;
    // The widgets whose hints follow the window's show-hints setting: the
    // navigator's buttons, the search box, the "..." buttons and the date
    // boxes' calendar buttons.
    QList<QWidget*> governedHintWidgets() const;

public slots:
    // "..." beside the manufacturer: scope the manufacturers to the box's
    // company (when there is one) and ask for the manufacturer page.
    void SpeedButton1Click();
    // "..." beside the location: the same for the locations.
    void SpeedButton2Click();

signals:
    void manufacturerPageRequested();
    void locationPageRequested();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    std::unique_ptr<Ui::ItemPage> m_ui;
    TDataModule2* m_dataModule = nullptr;
};
