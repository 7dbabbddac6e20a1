#pragma once

#include <QList>
#include <QWidget>

#include <memory>

class DBNavigator;
class IncrementalSearch;
class QPushButton;
class TDataModule2;

namespace Ui {
class ManufacturerPage;
}

// The "Manufacturer" page of the detail view: the current manufacturer in
// data-aware controls on DSManuf, "View All" (Button1, disabled until the
// item page's first "..." beside the manufacturer), the "Find Manufacturer"
// search in COMPANY order within the scope, and the navigator DBNavigator2.
class ManufacturerPage : public QWidget {
    Q_OBJECT

public:
    explicit ManufacturerPage(QWidget* parent = nullptr);
    ~ManufacturerPage() override;

    // Binds the controls to the data module's DSManuf and XBase2.
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
    void Button1Click();
    // Enables the view-all button (the item page's "..." does).
    void enableViewAll();

private:
    std::unique_ptr<Ui::ManufacturerPage> m_ui;
    TDataModule2* m_dataModule = nullptr;
};
