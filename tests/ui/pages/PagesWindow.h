#pragma once

// The three detail pages in a notebook, wired as the main window wires
// them, on a data module over copies of the sample tables.

#include "ui/pages/PagesHarness.h"

#include "ui/main/pages/DetailPages.h"
#include "ui/main/pages/ItemPage.h"
#include "ui/main/pages/LocationPage.h"
#include "ui/main/pages/ManufacturerPage.h"

#include <QTabWidget>
#include <QVBoxLayout>
#include <QtTest>

namespace qly::test {

struct PagesWindow {
    QTabWidget notebook;
    ItemPage* item = nullptr;
    ManufacturerPage* manufacturer = nullptr;
    LocationPage* location = nullptr;

    explicit PagesWindow(TDataModule2* dm) {
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(17);
        notebook.setFont(font);
        notebook.setWindowTitle(QStringLiteral("Quillory"));
        item = new ItemPage;
        manufacturer = new ManufacturerPage;
        location = new LocationPage;
        const struct {
            QWidget* page;
            const char* caption;
        } pages[] = {{item, "Item Detail"}, {manufacturer, "Manufacturer"}, {location, "Location"}};
        for (const auto& p : pages) {
            auto* holder = new QWidget;
            auto* layout = new QVBoxLayout(holder);
            layout->setContentsMargins(0, 0, 0, 0);
            layout->addWidget(p.page);
            notebook.addTab(holder, QString::fromLatin1(p.caption));
        }
        item->connectDataModule(dm);
        manufacturer->connectDataModule(dm);
        location->connectDataModule(dm);
        qly::pages::connectDetailPages(&notebook, item, manufacturer, location);
        notebook.resize(725, 630);
    }

    bool show() {
        notebook.show();
        notebook.activateWindow();
        return QTest::qWaitForWindowActive(&notebook);
    }

    template <typename T>
    T* find(QWidget* page, const char* name) const {
        return page->findChild<T*>(QString::fromLatin1(name));
    }
};

}  // namespace qly::test
