#include "ui/main/pages/ItemPage.h"

#include "ui_ItemPage.h"

#include "data/DataModule2.h"
#include "data/GridModel.h"
#include "data/XBase.h"
#include "widgets/controls/DBDateEdit.h"
#include "widgets/controls/DBNavigator.h"
#include "widgets/data/ErrorBox.h"

#include <QResizeEvent>
#include <QToolButton>

ItemPage::ItemPage(QWidget* parent) : QWidget(parent), m_ui(std::make_unique<Ui::ItemPage>()) {
    m_ui->setupUi(this);
    m_ui->DBComboBox1->setEntries(categories());
    m_ui->DBComboBox2->setEntries(disposalMethods());
    m_ui->DBEdit4->setKind(DBEdit::Kind::Currency);
    m_ui->DBEdit8->setKind(DBEdit::Kind::WholeNumber);
    m_ui->DBRichEdit1->setLinkRecognition(true);
    m_ui->IncrementalSearch1->setMode(IncrementalSearch::Mode::Items);
    m_ui->IncrementalSearch1->setSearchField(QStringLiteral("NAME"));
    for (QToolButton* b : {m_ui->SpeedButton1, m_ui->SpeedButton2})
        b->setCursor(Qt::PointingHandCursor);
    m_ui->SpeedButton1->setToolTip(tr("Show this manufacturer"));
    m_ui->SpeedButton2->setToolTip(tr("Show this location"));
    connect(m_ui->SpeedButton1, &QToolButton::clicked, this, &ItemPage::SpeedButton1Click);
    connect(m_ui->SpeedButton2, &QToolButton::clicked, this, &ItemPage::SpeedButton2Click);
}

ItemPage::~ItemPage() = default;

QStringList ItemPage::categories() {
    QStringList list{
        QStringLiteral("Buildings"),
        QStringLiteral("Chair"),
        QStringLiteral("Computers"),
        QStringLiteral("Copiers"),
        QStringLiteral("Desk"),
        QStringLiteral("Fax Machine"),
        QStringLiteral("Misc Office Supplies"),
        QStringLiteral("Misc. Furniture"),
        QStringLiteral("Other"),
        QStringLiteral("Software"),
        QStringLiteral("Typewritter"),
        QStringLiteral("Vehicles"),
    };
    list.sort();
    return list;
}

QStringList ItemPage::disposalMethods() {
    return {QStringLiteral("Destoyed"), QStringLiteral("Sold")};
}

void ItemPage::connectDataModule(TDataModule2* dataModule) {
    m_dataModule = dataModule;
    TDataSource* source = dataModule->DSMain;
    const struct {
        DBEdit* edit;
        const char* field;
    } edits[] = {
        {m_ui->DBEdit1, "NAME"},          {m_ui->DBEdit2, "SERIALNUM"},
        {m_ui->DBEdit3, "PARTNUM"},       {m_ui->DBEdit4, "PURCHPRICE"},
        {m_ui->DBEdit5, "PURCHPLACE"},    {m_ui->DBEdit6, "UNIT_ID"},
        {m_ui->DBEdit7, "MODELNUM"},      {m_ui->DBEdit8, "QUANTITY"},
        {m_ui->DBEdit9, "SERVCOMPAN"},    {m_ui->DBEdit10, "SERVCONTR"},
        {m_ui->DBEdit11, "SERVPNUM"},     {m_ui->DBEdit12, "SERVCONTAC"},
        {m_ui->DBDateEdit1, "PURCHDATE"}, {m_ui->DBDateEdit2, "DISPDATE"},
    };
    for (const auto& e : edits) {
        e.edit->setDataField(QString::fromLatin1(e.field));
        e.edit->setDataSource(source);
    }
    m_ui->DBComboBox1->setDataField(QStringLiteral("CATAGORY"));
    m_ui->DBComboBox1->setDataSource(source);
    m_ui->DBComboBox2->setDataField(QStringLiteral("DISPMETHOD"));
    m_ui->DBComboBox2->setDataSource(source);
    m_ui->DBCheckBox1->setDataField(QStringLiteral("DISPOSED"));
    m_ui->DBCheckBox1->setDataSource(source);
    m_ui->DBRichEdit1->setDataField(QStringLiteral("DESCRIPT"));
    m_ui->DBRichEdit1->setDataSource(source);

    m_ui->DBLookupCombo3->setLookupSource(dataModule->DSManuf);
    m_ui->DBLookupCombo3->setLookupColumns({
        {QStringLiteral("COMPANY"), QString(), 10},
        {QStringLiteral("CITY"), QString(), 10},
        {QStringLiteral("CONTACT"), QString(), 10},
    });
    m_ui->DBLookupCombo3->setLookupField(QStringLiteral("COMPANY"));
    m_ui->DBLookupCombo3->setShowTitles(true);
    m_ui->DBLookupCombo3->setDataField(QStringLiteral("MANUFACT"));
    m_ui->DBLookupCombo3->setDataSource(source);

    m_ui->DBLookupCombo4->setLookupSource(dataModule->DSLocation);
    m_ui->DBLookupCombo4->setLookupColumns({
        {QStringLiteral("NAME_ID"), QString(), 10},
        {QStringLiteral("DIVISION"), QString(), 10},
        {QStringLiteral("COST_CENTR"), QString(), 10},
    });
    m_ui->DBLookupCombo4->setLookupField(QStringLiteral("NAME_ID"));
    m_ui->DBLookupCombo4->setShowTitles(true);
    m_ui->DBLookupCombo4->setDataField(QStringLiteral("LOCATION"));
    m_ui->DBLookupCombo4->setDataSource(source);

    m_ui->IncrementalSearch1->setDataSource(source);
    m_ui->DBNavigator1->setDataSource(source);
}

void ItemPage::setLookupSources(TDataSource* manufacturers, TDataSource* locations) {
    m_ui->DBLookupCombo3->setLookupSource(manufacturers);
    m_ui->DBLookupCombo4->setLookupSource(locations);
}

DBNavigator* ItemPage::navigator() const {
    return m_ui->DBNavigator1;
}
IncrementalSearch* ItemPage::searchBox() const {
    return m_ui->IncrementalSearch1;
}
DBLookupCombo* ItemPage::manufacturerBox() const {
    return m_ui->DBLookupCombo3;
}
DBLookupCombo* ItemPage::locationBox() const {
    return m_ui->DBLookupCombo4;
}

QList<QWidget*> ItemPage::governedHintWidgets() const {
    QList<QWidget*> widgets;
    for (int i = 0; i < DBNavigator::kButtonCount; ++i)
        widgets.append(m_ui->DBNavigator1->button(static_cast<DBNavigator::Button>(i)));
    widgets.append(m_ui->IncrementalSearch1);
    widgets.append(m_ui->SpeedButton1);
    widgets.append(m_ui->SpeedButton2);
    widgets.append(m_ui->DBDateEdit1->dropButton());
    widgets.append(m_ui->DBDateEdit2->dropButton());
    return widgets;
}

void ItemPage::SpeedButton1Click() {
    try {
        const QString company = m_ui->DBLookupCombo3->text();
        if (!company.isEmpty() && m_dataModule)
            m_dataModule->XBase2->setScope(company, company);
    } catch (const std::exception& error) {
        // a refused scope ends the jump: the page stays, View All unchanged
        qly::showErrorBox(QString::fromUtf8(error.what()), window());
        return;
    }
    emit manufacturerPageRequested();
}

void ItemPage::SpeedButton2Click() {
    try {
        const QString location = m_ui->DBLookupCombo4->text();
        if (!location.isEmpty() && m_dataModule)
            m_dataModule->XBase3->setScope(location, location);
    } catch (const std::exception& error) {
        // a refused scope ends the jump: the page stays, View All unchanged
        qly::showErrorBox(QString::fromUtf8(error.what()), window());
        return;
    }
    emit locationPageRequested();
}

void ItemPage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // the service and disposal panel stays docked to the right edge
    QFrame* panel = m_ui->Panel4;
    panel->setGeometry(width() - panel->width(), 0, panel->width(), height());
}
