#include "ui/main/pages/DetailPages.h"

#include "ui/main/pages/ItemPage.h"
#include "ui/main/pages/LocationPage.h"
#include "ui/main/pages/ManufacturerPage.h"

#include <QTabWidget>

namespace qly::pages {

void selectPageOf(QTabWidget* notebook, const QWidget* widget) {
    for (int i = 0; i < notebook->count(); ++i) {
        QWidget* page = notebook->widget(i);
        if (page == widget || page->isAncestorOf(widget)) {
            notebook->setCurrentIndex(i);
            return;
        }
    }
}

void connectDetailPages(QTabWidget* notebook, ItemPage* item, ManufacturerPage* manufacturer,
                        LocationPage* location) {
    QObject::connect(item, &ItemPage::manufacturerPageRequested, notebook,
                     [notebook, manufacturer] {
                         selectPageOf(notebook, manufacturer);
                         manufacturer->enableViewAll();
                     });
    QObject::connect(item, &ItemPage::locationPageRequested, notebook, [notebook, location] {
        selectPageOf(notebook, location);
        location->enableViewAll();
    });
}

}  // namespace qly::pages
