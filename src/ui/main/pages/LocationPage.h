#pragma once

#include <QList>
#include <QWidget>

#include <memory>

class DBNavigator;
class IncrementalSearch;
class QPushButton;
class TDataModule2;

namespace Ui {
class LocationPage;
}

// The "Location" page of the detail view: the current location in
// data-aware controls on DSLocation, "View all" (Button2, enabled from the
// start), the "Find Location" search in NAME_ID order within the scope, and
// the navigator DBNavigator3.
class LocationPage : public QWidget {
    Q_OBJECT

public:
    explicit LocationPage(QWidget* parent = nullptr);
    ~LocationPage() override;

    // Binds the controls to the data module's DSLocation and XBase3.
    void connectDataModule(TDataModule2* dataModule);
    TDataModule2* dataModule() const { return m_dataModule; }

    DBNavigator* navigator() const;
    IncrementalSearch* searchBox() const;
    QPushButton* viewAllButton() const;
    // The widgets whose hints follow the window's show-hints setting: the
    // navigator's buttons (the search box always shows its hint).
    QList<QWidget*> governedHintWidgets() const;

public slots:
    // Removes the scope set from the item page and goes to the first record.
    void Button2Click();
    // Enables the view-all button (the item page's "..." does).
    void enableViewAll();

private:
    std::unique_ptr<Ui::LocationPage> m_ui;
    TDataModule2* m_dataModule = nullptr;
};
