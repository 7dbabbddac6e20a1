#include "ui/main/pages/ManufacturerPage.h"

#include "ui_ManufacturerPage.h"

#include "data/DataModule2.h"
#include "data/XBase.h"
#include "widgets/controls/DBNavigator.h"
#include "widgets/data/ErrorBox.h"

#include <QPushButton>
#include <QToolButton>

ManufacturerPage::ManufacturerPage(QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::ManufacturerPage>()) {
    m_ui->setupUi(this);
    QFont large(QStringLiteral("Arial"));
    large.setPixelSize(20);
    m_ui->Button1->setFont(large);
    m_ui->Button1->setEnabled(false);
    m_ui->DBRichEdit2->setLinkRecognition(false);
    m_ui->DBComboBox3->setEntries({});
    m_ui->IncrementalSearch2->setMode(IncrementalSearch::Mode::Keyed);
    m_ui->IncrementalSearch2->setSearchField(QStringLiteral("COMPANY"));
    connect(m_ui->Button1, &QPushButton::clicked, this, &ManufacturerPage::Button1Click);
}

ManufacturerPage::~ManufacturerPage() = default;

void ManufacturerPage::connectDataModule(TDataModule2* dataModule) {
    m_dataModule = dataModule;
    TDataSource* source = dataModule->DSManuf;
    const struct {
        DBEdit* edit;
        const char* field;
    } edits[] = {
        {m_ui->DBEdit13, "COMPANY"}, {m_ui->DBEdit14, "CITY"},  {m_ui->DBEdit15, "STATEPROV"},
        {m_ui->DBEdit16, "USER2"},   {m_ui->DBEdit17, "PHONE"}, {m_ui->DBEdit18, "FAX"},
        {m_ui->DBEdit19, "CONTACT"}, {m_ui->DBEdit20, "EMAIL"}, {m_ui->DBEdit21, "WEBSITE"},
    };
    for (const auto& e : edits) {
        e.edit->setDataField(QString::fromLatin1(e.field));
        e.edit->setDataSource(source);
    }
    m_ui->DBRichEdit2->setDataField(QStringLiteral("ADDRESS"));
    m_ui->DBRichEdit2->setDataSource(source);
    m_ui->DBComboBox3->setDataField(QStringLiteral("USER1"));
    m_ui->DBComboBox3->setDataSource(source);
    m_ui->IncrementalSearch2->setDataSource(source);
    m_ui->DBNavigator2->setDataSource(source);
}

DBNavigator* ManufacturerPage::navigator() const {
    return m_ui->DBNavigator2;
}
IncrementalSearch* ManufacturerPage::searchBox() const {
    return m_ui->IncrementalSearch2;
}
QPushButton* ManufacturerPage::viewAllButton() const {
    return m_ui->Button1;
}

QList<QWidget*> ManufacturerPage::governedHintWidgets() const {
    QList<QWidget*> widgets;
    for (int i = 0; i < DBNavigator::kButtonCount; ++i)
        widgets.append(m_ui->DBNavigator2->button(static_cast<DBNavigator::Button>(i)));
    return widgets;
}

void ManufacturerPage::Button1Click() {
    if (!m_dataModule)
        return;
    try {
        m_dataModule->XBase2->setScope(QString(), QString());
        m_dataModule->XBase2->goTop();
    } catch (const std::exception& error) {
        qly::showErrorBox(QString::fromUtf8(error.what()), window());
    }
}

void ManufacturerPage::enableViewAll() {
    m_ui->Button1->setEnabled(true);
}
