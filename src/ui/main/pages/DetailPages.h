#pragma once

class QTabWidget;
class QWidget;
class ItemPage;
class ManufacturerPage;
class LocationPage;

namespace qly::pages {

// Wires the item page's "..." buttons to the notebook: SpeedButton1 selects
// the page holding the manufacturer page and enables its "View All",
// SpeedButton2 the page holding the location page and its "View all".
void connectDetailPages(QTabWidget* notebook, ItemPage* item, ManufacturerPage* manufacturer,
                        LocationPage* location);

// Selects the notebook page that holds widget (directly or inside it).
void selectPageOf(QTabWidget* notebook, const QWidget* widget);

}  // namespace qly::pages
