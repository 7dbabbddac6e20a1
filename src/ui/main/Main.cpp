#include "ui/main/Main.h"

#include "ui_Main.h"

#include "data/DataModule2.h"
#include "data/DataSource.h"
#include "data/DateFormat.h"
#include "data/DbTable.h"
#include "data/Error.h"
#include "data/Messages.h"
#include "data/XBase.h"
#include "settings/SettingsStore.h"
#include "ui/dialogs/AboutForm.h"
#include "ui/dialogs/DeletedRecords.h"
#include "ui/dialogs/ImportExport.h"
#include "ui/dialogs/Maint.h"
#include "ui/dialogs/Preferences.h"
#include "ui/dialogs/Reports.h"
#include "ui/main/pages/DetailPages.h"
#include "ui/main/pages/ItemPage.h"
#include "ui/main/pages/LocationPage.h"
#include "ui/main/pages/ManufacturerPage.h"
#include "widgets/FormScaler.h"
#include "widgets/data/ErrorBox.h"
#include "widgets/help/HelpWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDate>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdint>

namespace {

// The category names the category box offers, in alphabetical order.
const char* const kCategories[] = {
    "Bookshelves",     "Buildings", "Chair",       "Computers",
    "Copiers",         "Desk",      "Fax Machine", "Misc Office Supplies",
    "Misc. Furniture", "Other",     "Software",    "Typewritter",
    "Vehicles",
};

// The text between delimiters it does not hold: "...", '...' or [...]; a text
// holding all three is joined from pieces ("a" + '"' + "b").
QString quoted(const QString& value) {
    if (!value.contains(u'"'))
        return u'"' + value + u'"';
    if (!value.contains(u'\''))
        return u'\'' + value + u'\'';
    if (!value.contains(u']'))
        return u'[' + value + u']';
    QStringList pieces;
    for (const QString& piece : value.split(u'"'))
        pieces << u'"' + piece + u'"';
    return pieces.join(QStringLiteral(" + '\"' + "));
}

QString expression(const char* field, const QString& value) {
    return QString::fromLatin1(field) + u'=' + quoted(value);
}

QFont arial(int pixels) {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixels);
    return font;
}

// Runs a handler; an error that ends it is shown in the standard error box
// and the program goes on.
template <typename Handler>
void guarded(QWidget* parent, Handler handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        qly::showErrorBox(QString::fromStdString(error.what()), parent);
    }
}

// Sends a clipboard command to a widget that has it; ignored otherwise.
void sendClipboard(QWidget* widget, const char* command) {
    if (!widget)
        return;
    if (auto* combo = qobject_cast<QComboBox*>(widget); combo && combo->lineEdit())
        widget = combo->lineEdit();
    const QMetaObject* meta = widget->metaObject();
    if (meta->indexOfMethod(
            QMetaObject::normalizedSignature((QByteArray(command) + "()").constData())) >= 0)
        QMetaObject::invokeMethod(widget, command);
}

}  // namespace

TMain::TMain(QWidget* parent) : QMainWindow(parent), m_ui(std::make_unique<Ui::TMain>()) {
    Q_INIT_RESOURCE(Main);  // the pictures live in this static library
    m_ui->setupUi(this);
    setFont(arial(17));
    m_ui->Panel2->setFont(arial(20));
    m_ui->DBGrid1->horizontalHeader()->setFont(arial(17));
    m_ui->ListP->hide();
    m_ui->DetailP->show();

    for (const char* category : kCategories)
        m_ui->ComboBox1->addItem(QString::fromLatin1(category));
    m_ui->ComboBox1->setMaxVisibleItems(8);  // as every drop-down list of the program
    m_ui->ComboBox1->setCurrentIndex(-1);
    m_ui->ComboBox1->setEditText(QString());
    m_ui->ComboBox1->setCompleter(nullptr);  // the text is taken as typed

    m_ui->DBLookupCombo1->setLookupField(QStringLiteral("COMPANY"));
    m_ui->DBLookupCombo1->setShowTitles(true);
    m_ui->DBLookupCombo2->setLookupField(QStringLiteral("NAME_ID"));
    m_ui->DBLookupCombo2->setShowTitles(true);

    for (QWidget* button :
         {static_cast<QWidget*>(m_ui->BarButton1), static_cast<QWidget*>(m_ui->BarButton2),
          static_cast<QWidget*>(m_ui->BarButton3), static_cast<QWidget*>(m_ui->BarButton4),
          static_cast<QWidget*>(m_ui->BarButton5)})
        governHint(button);

    placePages();
    buildPopupMenu();
    buildExtraMenuItems();
    connectHandlers();

    // Places the window for the screen (centred, or where the layout file
    // says) and scales every control with it; made once all controls exist.
    m_formScaler = new TFormScaler(this);
    m_formScaler->setObjectName(QStringLiteral("FormScaler1"));
    m_formScaler->setDesignMetrics(QSize(1152, 864), 120, QRect(257, 109, 870, 676),
                                   QSize(862, 630));
    m_formScaler->setDBGridSelfResize(true);
    m_formScaler->setLayoutFile(QStringLiteral("qly32.ini"));
    openLookupTable();
    if (!m_lookupOpenFailed)
        guarded(nullptr, [this] { FormCreate(); });
}

TMain::~TMain() {
    // The controls go after this class's part of the window: none of their
    // signals (a combo box's on losing the focus, a destroyed widget's) may
    // reach its handlers any more.
    for (QObject* child : findChildren<QObject*>())
        disconnect(child, nullptr, this, nullptr);
    m_ui->DBGrid1->setDataSource(nullptr);
    m_ui->DBStateStatus1->setDataSource(nullptr);
}

void TMain::buildPopupMenu() {
    m_popupMenu = new QMenu(this);
    m_popupMenu->setObjectName(QStringLiteral("PopupMenu1"));
    m_popupMenu->addAction(m_ui->Cut2);
    m_popupMenu->addAction(m_ui->Copy2);
    m_popupMenu->addAction(m_ui->Paste2);
    m_popupMenu->addAction(m_ui->Delete2);
    m_popupMenu->addSeparator();
    m_popupMenu->addAction(m_ui->List2);
    m_popupMenu->addAction(m_ui->Detail2);
    m_popupMenu->addSeparator();
    m_popupMenu->addAction(m_ui->Exit2);
    m_ui->List2->setChecked(false);
    m_ui->Detail2->setChecked(true);
    // The window's context menu, for every control without one of its own.
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { m_popupMenu->popup(mapToGlobal(pos)); });
}

void TMain::buildExtraMenuItems() {
    // After the standard items of their menus, each behind a separator of
    // its own.
    m_ui->File1->addSeparator();
    m_import = m_ui->File1->addAction(QStringLiteral("Import…"));
    m_import->setObjectName(QStringLiteral("Import1"));
    m_ui->File1->addSeparator();
    m_export = m_ui->File1->addAction(QStringLiteral("Export…"));
    m_export->setObjectName(QStringLiteral("Export1"));
    m_ui->Edit1->addSeparator();
    m_deletedRecords = m_ui->Edit1->addAction(QStringLiteral("Deleted Records…"));
    m_deletedRecords->setObjectName(QStringLiteral("DeletedRecords1"));
}

void TMain::connectHandlers() {
    const auto on = [this](auto handler) {
        return [this, handler] { guarded(this, [this, handler] { (this->*handler)(); }); };
    };
    connect(m_ui->BarButton1, &QToolButton::clicked, this, on(&TMain::BarButton1Click));
    connect(m_ui->BarButton2, &QToolButton::clicked, this, on(&TMain::BarButton2Click));
    connect(m_ui->BarButton3, &QToolButton::clicked, this, on(&TMain::BarButton3Click));
    connect(m_ui->BarButton4, &QToolButton::clicked, this, on(&TMain::BarButton4Click));
    connect(m_ui->BarButton5, &QToolButton::clicked, this, on(&TMain::BarButton5Click));
    connect(m_ui->Maintenance1, &QAction::triggered, this, on(&TMain::BarButton3Click));
    connect(m_ui->Preferences1, &QAction::triggered, this, on(&TMain::BarButton4Click));
    connect(m_ui->Reports1, &QAction::triggered, this, on(&TMain::BarButton5Click));
    connect(m_ui->About1, &QAction::triggered, this, on(&TMain::About1Click));
    for (QAction* action : {m_ui->Exit1, m_ui->Exit2})
        connect(action, &QAction::triggered, this, on(&TMain::BarButton1Click));
    for (QAction* action : {m_ui->Detail1, m_ui->List1, m_ui->Detail2, m_ui->List2})
        connect(action, &QAction::triggered, this, on(&TMain::BarButton2Click));
    for (QAction* action : {m_ui->Cut1, m_ui->Cut2})
        connect(action, &QAction::triggered, this, on(&TMain::Cut1Click));
    for (QAction* action : {m_ui->Copy1, m_ui->Copy2})
        connect(action, &QAction::triggered, this, on(&TMain::Copy1Click));
    for (QAction* action : {m_ui->Paste1, m_ui->Paste2})
        connect(action, &QAction::triggered, this, on(&TMain::Paste1Click));
    for (QAction* action : {m_ui->Delete1, m_ui->Delete2})
        connect(action, &QAction::triggered, this, on(&TMain::Delete1Click));
    connect(m_ui->Contents1, &QAction::triggered, this, on(&TMain::Contents1Click));
    connect(m_import, &QAction::triggered, this, on(&TMain::Import1Click));
    connect(m_export, &QAction::triggered, this, on(&TMain::Export1Click));
    connect(m_deletedRecords, &QAction::triggered, this, on(&TMain::DeletedRecords1Click));
    // A double click anywhere on the grid (a cell, below the last row, a
    // title) switches to the detail view.
    m_ui->DBGrid1->viewport()->installEventFilter(this);
    m_ui->DBGrid1->horizontalHeader()->viewport()->installEventFilter(this);
    m_ui->DBGrid1->verticalHeader()->viewport()->installEventFilter(this);

    // The list view's choices.
    m_ui->StaticText5->installEventFilter(this);
    m_ui->ComboBox1->installEventFilter(this);
    if (QLineEdit* edit = m_ui->ComboBox1->lineEdit())
        edit->installEventFilter(this);
    connect(m_ui->ComboBox1, &QComboBox::activated, this, on(&TMain::CheckBox2Click));
    connect(m_ui->ComboBox1, &QComboBox::editTextChanged, this, on(&TMain::ComboBox1Change));
    connect(m_ui->DBLookupCombo1, &DBLookupCombo::entered, this, on(&TMain::CheckBox3Click));
    connect(m_ui->DBLookupCombo1, &DBLookupCombo::clicked, this, on(&TMain::CheckBox3Click));
    connect(m_ui->DBLookupCombo1, &DBLookupCombo::changed, this, on(&TMain::DBLookupCombo1Change));
    connect(m_ui->DBLookupCombo2, &DBLookupCombo::entered, this, on(&TMain::CheckBox4Click));
    connect(m_ui->DBLookupCombo2, &DBLookupCombo::clicked, this, on(&TMain::CheckBox4Click));
    connect(m_ui->DBLookupCombo2, &DBLookupCombo::changed, this, on(&TMain::DBLookupCombo2Change));
}

void TMain::openLookupTable() {
    m_lookupT = new TDbTable(this);
    m_lookupT->setObjectName(QStringLiteral("LookupT"));
    m_lookupT->setDatabaseName(QDir::currentPath());
    m_lookupT->setTableName(QString::fromLatin1(kLookupFileName));
    m_dsLookup = new TDataSource(this);
    m_dsLookup->setObjectName(QStringLiteral("DSLookup"));
    m_dsLookup->setDataSet(m_lookupT);
    m_ui->DBLookupCombo1->setDataSource(m_dsLookup);
    m_ui->DBLookupCombo1->setDataField(QStringLiteral("COMPANY"));
    m_ui->DBLookupCombo2->setDataSource(m_dsLookup);
    m_ui->DBLookupCombo2->setDataField(QStringLiteral("LOCATION"));
    try {
        m_lookupT->open();
    } catch (const std::exception& error) {
        m_lookupOpenFailed = true;
        qly::showErrorBox(QString::fromStdString(error.what()), nullptr);
    }
}

void TMain::placePages() {
    // The three pages of the detail view fill their notebook pages; the
    // "..." buttons of the item page select the manufacturer and location pages.
    m_itemPage = new ::ItemPage;
    m_manufacturerPage = new ::ManufacturerPage;
    m_locationPage = new ::LocationPage;
    const std::pair<QWidget*, QWidget*> places[] = {{m_ui->ItemPage, m_itemPage},
                                                    {m_ui->ManufPage, m_manufacturerPage},
                                                    {m_ui->LocationPage, m_locationPage}};
    for (const auto& [holder, page] : places) {
        auto* layout = new QVBoxLayout(holder);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(page);
    }
    qly::pages::connectDetailPages(m_ui->Notebook1, m_itemPage, m_manufacturerPage, m_locationPage);
    for (QWidget* widget : m_itemPage->governedHintWidgets() +
                               m_manufacturerPage->governedHintWidgets() +
                               m_locationPage->governedHintWidgets())
        governHint(widget);
}

void TMain::connectDataModule(TDataModule2* dataModule) {
    m_dataModule = dataModule;
    if (!dataModule)
        return;
    // The user hears once of each index an open had to repair (the tables
    // open after this, in the data module's creation, and again after a
    // restore or re-index).
    for (TDbTable* table : {dataModule->MainT, dataModule->ManufT, dataModule->LocationT}) {
        connect(table, &TDbTable::indexRepaired, this, &TMain::noteRepair);
        if (table->active() && !table->repairMessage().isEmpty())
            noteRepair(table->repairMessage());
    }
    m_itemPage->connectDataModule(dataModule);
    m_manufacturerPage->connectDataModule(dataModule);
    m_locationPage->connectDataModule(dataModule);
    dataModule->countPaneWriter = [this](const QString& text) {
        m_ui->StaticText3->setText(text);
        fitPane(m_ui->StaticText3);
        m_ui->StaticText3->repaint();
    };
    m_ui->DBGrid1->setDataSource(dataModule->DSMain);
    m_ui->DBGrid1->setColumns({
        {QStringLiteral("NAME"), QStringLiteral("Name"), 20},
        {QStringLiteral("CATAGORY"), QStringLiteral("Catagory"), 20},
        {QStringLiteral("MANUFACT"), QStringLiteral("Manufacturer"), 20},
        {QStringLiteral("LOCATION"), QStringLiteral("Location"), 20},
        {QStringLiteral("QUANTITY"), QStringLiteral("Quantity"), 10},
    });
    m_ui->DBStateStatus1->setDataSource(dataModule->DSMain);
    // The lookup lists read copies of the lookup tables that no scope of
    // the manufacturer or location page narrows.
    TDataSource* manufacturers = lookupCopy(dataModule->ManufT, "ManufListT");
    TDataSource* locations = lookupCopy(dataModule->LocationT, "LocationListT");
    m_itemPage->setLookupSources(manufacturers, locations);
    m_ui->DBLookupCombo1->setLookupSource(manufacturers);
    m_ui->DBLookupCombo1->setLookupColumns({
        {QStringLiteral("COMPANY"), QString(), 10},
        {QStringLiteral("CITY"), QString(), 10},
        {QStringLiteral("CONTACT"), QString(), 10},
    });
    m_ui->DBLookupCombo2->setLookupSource(locations);
    m_ui->DBLookupCombo2->setLookupColumns({
        {QStringLiteral("NAME_ID"), QString(), 10},
        {QStringLiteral("DIVISION"), QString(), 10},
        {QStringLiteral("COST_CENTR"), QString(), 10},
    });
}

void TMain::noteRepair(const QString& message) {
    if (m_repairs.contains(message))
        return;
    m_repairs << message;
    if (m_repairs.size() == 1)
        QTimer::singleShot(0, this, &TMain::showRepairs);
}

void TMain::showRepairs() {
    if (m_repairs.isEmpty())
        return;
    const QString text = m_repairs.join(QStringLiteral("\n\n"));
    m_repairs.clear();
    const bool failed = text.contains(QStringLiteral("could not be rebuilt"));
    QMessageBox box(failed ? QMessageBox::Warning : QMessageBox::Information,
                    QCoreApplication::applicationName(), text, QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("IndexRepaired"));
    box.exec();
}

TDataSource* TMain::lookupCopy(TDbTable* original, const char* name) {
    // Opened read-only beside the original whenever it opens; read again
    // after every change of the original's records.
    auto* copy = new TDbTable(this);
    copy->setObjectName(QString::fromLatin1(name));
    copy->setTableName(original->tableName());
    copy->setIndexName(original->indexName());
    copy->setReadOnly(true);
    auto* source = new TDataSource(this);
    source->setDataSet(copy);
    const auto follow = [this, original, copy] {
        try {
            if (!original->active()) {
                copy->close();
                return;
            }
            if (!copy->active()) {
                copy->setDatabaseName(original->databaseName());
                copy->open();
            } else {
                copy->refresh();
            }
        } catch (const std::exception& error) {
            qly::showErrorBox(QString::fromStdString(error.what()), this);
        }
    };
    m_lookupCopies.append(qMakePair(original, copy));
    connect(original, &TDbTable::activeChanged, copy, follow);
    connect(original, &TDbTable::afterPost, copy, follow);
    connect(original, &TDbTable::afterDelete, copy, follow);
    if (original->active())
        follow();
    return source;
}

void TMain::governHint(QWidget* widget) {
    if (!widget)
        return;
    m_governed.insert(widget);
    widget->installEventFilter(this);
    connect(widget, &QObject::destroyed, this, [this, widget] { m_governed.remove(widget); });
}

bool TMain::listViewShown() const {
    return !m_ui->ListP->isHidden();
}

// ---- Creation and showing

void TMain::FormCreate() {
    qly::SettingsStore store;
    if (store.open()) {
        std::int32_t hints = 0;
        const qly::SettingsStatus status = store.readInteger(qly::kValueHints, &hints);
        if (!status.ok())
            throw QlyError(status.message());
        setShowHints(hints != 0);
        store.close();
    }
    // A short date without a numeric month (the C locale's) is shown as
    // yyyy-MM-dd, which every reader recognises.
    const QString today =
        qly::dates::shortDateFormat().contains(QStringLiteral("MMM"), Qt::CaseInsensitive)
            ? QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"))
            : qly::dates::formatDate(QDate::currentDate());
    m_ui->StaticText4->setText(QString::fromLatin1(kTodayPrefix) + today + QLatin1Char(' '));
    fitPane(m_ui->StaticText4);
    m_ui->Notebook1->setCurrentIndex(0);
}

void TMain::FormShow() {
    UpdateTextDisplay();
}

void TMain::UpdateTextDisplay() {
    TDbTable* table = m_dataModule ? m_dataModule->MainT : nullptr;
    if (!table || !table->active())
        throw QlyError(qly::msg::kClosedDataSet);
    m_ui->StaticText3->setText(QString::fromLatin1(qly::msg::kTotalRecords) +
                               QString::number(table->recordCount()) + QLatin1Char(' '));
    fitPane(m_ui->StaticText3);
}

void TMain::fitPane(QLabel* pane) {
    // The panes grow to their text, keeping their left edge; they never
    // shrink below the width the window's scaling gave them.
    const int width = std::max(pane->width(), pane->sizeHint().width() + 8);
    pane->resize(width, pane->height());
}

void TMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        guarded(this, [this] { FormShow(); });
}

bool TMain::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::ToolTip:
            // The button bar's hints follow the window's show-hints setting.
            if (!m_showHints && m_governed.contains(watched))
                return true;
            break;
        case QEvent::MouseButtonDblClick:
            if ((watched == m_ui->DBGrid1->viewport() ||
                 watched == m_ui->DBGrid1->horizontalHeader()->viewport() ||
                 watched == m_ui->DBGrid1->verticalHeader()->viewport()) &&
                static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                guarded(this, [this] { DBGrid1DblClick(); });
                return true;  // no cell editor opens in the grid now hidden
            }
            break;
        case QEvent::MouseButtonRelease:
            if (watched == m_ui->StaticText5) {
                auto* mouse = static_cast<QMouseEvent*>(event);
                if (mouse->button() == Qt::LeftButton &&
                    m_ui->StaticText5->rect().contains(mouse->position().toPoint()))
                    guarded(this, [this] { CheckBox1Click(); });
            }
            break;
        case QEvent::MouseButtonPress:
            if ((watched == m_ui->ComboBox1 || watched == m_ui->ComboBox1->lineEdit()) &&
                static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
                guarded(this, [this] { CheckBox2Click(); });
            break;
        case QEvent::FocusIn:
            if (watched == m_ui->ComboBox1 || watched == m_ui->ComboBox1->lineEdit()) {
                const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
                if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
                    guarded(this, [this] { CheckBox2Click(); });
            }
            break;
        default:
            break;
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- The frame's commands

bool TMain::postPendingEdit() {
    // A modified edit or insert is posted as a move to another record would
    // post it; a refused post shows its message and keeps the window open.
    TDbTable* table = m_dataModule ? m_dataModule->MainT : nullptr;
    if (!table || !table->active())
        return true;
    if (table->state() != TDataSetState::dsEdit && table->state() != TDataSetState::dsInsert)
        return true;
    if (QWidget* focused = QApplication::focusWidget(); focused && isAncestorOf(focused)) {
        // a grid cell editor hands its value over first
        if (m_ui->DBGrid1->isAncestorOf(focused))
            m_ui->DBGrid1->setFocus(Qt::OtherFocusReason);
    }
    try {
        table->checkBrowseMode();
    } catch (const std::exception& error) {
        qly::showErrorBox(QString::fromStdString(error.what()), this);
        return false;
    }
    return true;
}

void TMain::closeEvent(QCloseEvent* event) {
    if (!m_closing && !postPendingEdit()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void TMain::BarButton1Click() {
    if (!postPendingEdit())
        return;
    if (m_dataModule) {
        m_dataModule->MainT->close();
        m_dataModule->ManufT->close();
        m_dataModule->LocationT->close();
    }
    m_closing = true;
    close();
    m_closing = false;
}

void TMain::BarButton2Click() {
    if (!m_ui->DetailP->isHidden())
        showListView();
    else
        showDetailView();
}

void TMain::showListView() {
    m_ui->DetailP->hide();
    m_ui->ListP->show();
    m_ui->List2->setChecked(true);
    m_ui->Detail2->setChecked(false);
    m_ui->Edit1->setEnabled(false);
    // The context menu keeps its edit items in the list view, and with them
    // the keys Ctrl+X, Ctrl+C, Ctrl+V and Ctrl+Del.
    addActions({m_ui->Cut2, m_ui->Copy2, m_ui->Paste2, m_ui->Delete2});
    m_ui->BarButton2->setText(QString::fromLatin1(kDetailViewCaption));
    // The keys go to the grid, never to a control of the hidden view.
    m_ui->DBGrid1->setFocus(Qt::OtherFocusReason);
}

void TMain::focusFrontPage() {
    // The first control in tab order of the page in front takes the keys.
    QWidget* page = m_ui->Notebook1->currentWidget();
    if (!page)
        return;
    QWidget* candidate = page->nextInFocusChain();
    for (int guard = 0; candidate && candidate != page && guard < 10000; ++guard) {
        if (page->isAncestorOf(candidate) && candidate->isVisible() && candidate->isEnabled() &&
            (candidate->focusPolicy() & Qt::TabFocus) && !candidate->focusProxy()) {
            candidate->setFocus(Qt::TabFocusReason);
            return;
        }
        candidate = candidate->nextInFocusChain();
    }
    m_ui->Notebook1->setFocus(Qt::OtherFocusReason);
}

void TMain::showDetailView() {
    m_ui->ListP->hide();
    m_ui->DetailP->show();
    m_ui->BarButton2->setText(QString::fromLatin1(kListViewCaption));
    m_ui->List2->setChecked(false);
    m_ui->Detail2->setChecked(true);
    for (QAction* action : {m_ui->Cut2, m_ui->Copy2, m_ui->Paste2, m_ui->Delete2})
        removeAction(action);  // the Edit menu's items take the keys again
    m_ui->Edit1->setEnabled(true);
    focusFrontPage();
}

void TMain::DBGrid1DblClick() {
    showDetailView();
}

void TMain::offsetFromOthers(QWidget* dialog) {
    // A second dialog of the same kind opens down and right of the first, so
    // that both can be seen.
    constexpr int kOffset = 28;
    const QList<QWidget*> dialogs = findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (int moves = 0; moves < 50; ++moves) {
        bool covered = false;
        for (QWidget* other : dialogs) {
            if (other != dialog && other->isVisible() && other->isWindow() &&
                other->metaObject() == dialog->metaObject() && other->pos() == dialog->pos())
                covered = true;
        }
        if (!covered)
            return;
        dialog->move(dialog->pos() + QPoint(kOffset, kOffset));
    }
}

void TMain::BarButton3Click() {
    // A new dialog each time, owned by the main window and not modal.
    auto* dialog = new TMaint(m_dataModule, this);
    // The record count pane follows every restore.
    connect(dialog, &TMaint::restoreFinished, this, [this] {
        try {
            UpdateTextDisplay();
        } catch (...) {
            // A table that could not open again shows no count.
        }
    });
    dialog->show();
    offsetFromOthers(dialog);
}

void TMain::BarButton4Click() {
    auto* dialog = new TPreferences(this);
    dialog->show();
    offsetFromOthers(dialog);
}

void TMain::BarButton5Click() {
    auto* dialog = new TReports(this);
    dialog->show();
    offsetFromOthers(dialog);
}

void TMain::About1Click() {
    // Created, shown modally and destroyed for each use.
    TAboutForm about(this);
    about.exec();
}

// ---- The list view's choices

void TMain::markChoice(int choice) {
    QCheckBox* const boxes[] = {m_ui->CheckBox1, m_ui->CheckBox2, m_ui->CheckBox3, m_ui->CheckBox4};
    QLabel* const labels[] = {nullptr, m_ui->Label2, m_ui->Label3, m_ui->Label4};
    for (int i = 0; i < 4; ++i) {
        boxes[i]->setChecked(i == choice);
        boxes[i]->setEnabled(i == choice);
        if (labels[i])
            labels[i]->setEnabled(i == choice);
    }
}

void TMain::setFilter(const QString& text) {
    if (!m_dataModule || !m_dataModule->XBase1)
        return;
    TXBase* companion = m_dataModule->XBase1;
    TDbTable* table = m_dataModule->MainT;
    if (text == companion->filter() && table && table->active()) {
        // The same filter again: only the pending edit is posted; the
        // engine would give the same records.
        table->checkBrowseMode();
        return;
    }
    companion->setFilter(text);
}

void TMain::CheckBox1Click() {
    markChoice(0);
    m_settingChoice = true;
    m_ui->ComboBox1->setEditText(QString());
    m_ui->DBLookupCombo1->clear();
    m_ui->DBLookupCombo2->clear();
    m_settingChoice = false;
    setFilter(QStringLiteral("NAME=\"\""));
}

void TMain::CheckBox2Click() {
    markChoice(1);
    m_settingChoice = true;
    m_ui->DBLookupCombo1->clear();
    m_ui->DBLookupCombo2->clear();
    m_settingChoice = false;
    setFilter(expression("CATAGORY", m_ui->ComboBox1->currentText()));
}

void TMain::CheckBox3Click() {
    markChoice(2);
    m_settingChoice = true;
    m_ui->ComboBox1->setEditText(QString());
    m_ui->DBLookupCombo2->clear();
    m_settingChoice = false;
    setFilter(expression("MANUFACT", m_ui->DBLookupCombo1->text()));
}

void TMain::CheckBox4Click() {
    markChoice(3);
    m_settingChoice = true;
    m_ui->ComboBox1->setEditText(QString());
    m_ui->DBLookupCombo1->clear();
    m_settingChoice = false;
    setFilter(expression("LOCATION", m_ui->DBLookupCombo2->text()));
}

void TMain::ComboBox1Change() {
    if (!m_settingChoice)
        setFilter(expression("CATAGORY", m_ui->ComboBox1->currentText()));
}

void TMain::DBLookupCombo1Change() {
    if (!m_settingChoice)
        setFilter(expression("MANUFACT", m_ui->DBLookupCombo1->text()));
}

void TMain::DBLookupCombo2Change() {
    if (!m_settingChoice)
        setFilter(expression("LOCATION", m_ui->DBLookupCombo2->text()));
}

// ---- Edit and help commands

void TMain::Cut1Click() {
    QWidget* focused = QApplication::focusWidget();
    if (focused && isAncestorOf(focused))
        sendClipboard(focused, "cut");
}

void TMain::Copy1Click() {
    QWidget* focused = QApplication::focusWidget();
    if (focused && isAncestorOf(focused))
        sendClipboard(focused, "copy");
}

void TMain::Paste1Click() {
    QWidget* focused = QApplication::focusWidget();
    if (focused && isAncestorOf(focused))
        sendClipboard(focused, "paste");
}

void TMain::Delete1Click() {
    QMessageBox box(QMessageBox::Information, QCoreApplication::applicationName(),
                    QString::fromLatin1(kDeleteQuestion), QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(QStringLiteral("DeleteQuestion"));
    box.setEscapeButton(QMessageBox::No);
    if (box.exec() != QMessageBox::Yes)
        return;
    TDbTable* table = m_dataModule ? m_dataModule->MainT : nullptr;
    if (!table)
        throw QlyError(qly::msg::kClosedDataSet);
    table->deleteRecord();
}

void TMain::Contents1Click() {
    qly::HelpWindow::showContents();
}

// ---- Import, export and deleted records

void TMain::openImportExport(bool importing) {
    auto* dialog = new TImportExport(
        importing ? TImportExport::Mode::Import : TImportExport::Mode::Export, m_dataModule, this);
    connect(dialog, &TImportExport::tableChanged, this, &TMain::tableChangedOutside);
    dialog->show();
    offsetFromOthers(dialog);
}

void TMain::Import1Click() {
    openImportExport(true);
}

void TMain::Export1Click() {
    openImportExport(false);
}

void TMain::DeletedRecords1Click() {
    auto* dialog = new TDeletedRecords(m_dataModule, this);
    connect(dialog, &TDeletedRecords::tableChanged, this, &TMain::tableChangedOutside);
    dialog->show();
    offsetFromOthers(dialog);
}

void TMain::tableChangedOutside(TDbTable* table) {
    guarded(this, [this, table] {
        if (!table || !table->active())
            return;
        // The grid, the pages and the navigator follow the table's re-read.
        table->refresh();
        for (const auto& [original, copy] : m_lookupCopies) {
            if (original == table && copy->active())
                copy->refresh();
        }
        if (m_dataModule && table == m_dataModule->MainT)
            UpdateTextDisplay();
    });
    // Other open Deleted Records windows list the table anew.
    for (TDeletedRecords* other : findChildren<TDeletedRecords*>(Qt::FindDirectChildrenOnly)) {
        if (other != sender() && other->chosenTable() == table)
            other->reload();
    }
}
