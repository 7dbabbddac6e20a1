#include "ui/main/pages/LocationPage.h"

#include "ui_LocationPage.h"

#include "data/DataModule2.h"
#include "data/XBase.h"
#include "widgets/controls/DBNavigator.h"
#include "widgets/data/ErrorBox.h"

#include <QPushButton>
#include <QToolButton>

LocationPage::LocationPage(QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::LocationPage>()) {
    m_ui->setupUi(this);
    QFont large(QStringLiteral("Arial"));
    large.setPixelSize(20);
    m_ui->Button2->setFont(large);
    m_ui->Button2->setEnabled(true);
    m_ui->DBEdit30->setKind(DBEdit::Kind::WholeNumber);
    m_ui->DBEdit31->setKind(DBEdit::Kind::WholeNumber);
    m_ui->DBRichEdit3->setLinkRecognition(false);
    m_ui->IncrementalSearch3->setMode(IncrementalSearch::Mode::Keyed);
    m_ui->IncrementalSearch3->setSearchField(QStringLiteral("NAME_ID"));
    connect(m_ui->Button2, &QPushButton::clicked, this, &LocationPage::Button2Click);
}

LocationPage::~LocationPage() = default;

void LocationPage::connectDataModule(TDataModule2* dataModule) {
    m_dataModule = dataModule;
    TDataSource* source = dataModule->DSLocation;
    const struct {
        DBEdit* edit;
        const char* field;
    } edits[] = {
        {m_ui->DBEdit22, "NAME_ID"}, {m_ui->DBEdit23, "DIVISION"},   {m_ui->DBEdit24, "COST_CENTR"},
        {m_ui->DBEdit25, "PHONE"},   {m_ui->DBEdit26, "FAX"},        {m_ui->DBEdit27, "DEPARTMENT"},
        {m_ui->DBEdit28, "EMAIL"},   {m_ui->DBEdit29, "MANAGERNAM"}, {m_ui->DBEdit30, "WSNUM"},
        {m_ui->DBEdit31, "EMPLNUM"},
    };
    for (const auto& e : edits) {
        e.edit->setDataField(QString::fromLatin1(e.field));
        e.edit->setDataSource(source);
    }
    m_ui->DBRichEdit3->setDataField(QStringLiteral("ADDRESS"));
    m_ui->DBRichEdit3->setDataSource(source);
    m_ui->IncrementalSearch3->setDataSource(source);
    m_ui->DBNavigator3->setDataSource(source);
}

DBNavigator* LocationPage::navigator() const {
    return m_ui->DBNavigator3;
}
IncrementalSearch* LocationPage::searchBox() const {
    return m_ui->IncrementalSearch3;
}
QPushButton* LocationPage::viewAllButton() const {
    return m_ui->Button2;
}

QList<QWidget*> LocationPage::governedHintWidgets() const {
    QList<QWidget*> widgets;
    for (int i = 0; i < DBNavigator::kButtonCount; ++i)
        widgets.append(m_ui->DBNavigator3->button(static_cast<DBNavigator::Button>(i)));
    return widgets;
}

void LocationPage::Button2Click() {
    if (!m_dataModule)
        return;
    try {
        m_dataModule->XBase3->setScope(QString(), QString());
        m_dataModule->XBase3->goTop();
    } catch (const std::exception& error) {
        qly::showErrorBox(QString::fromUtf8(error.what()), window());
    }
}

void LocationPage::enableViewAll() {
    m_ui->Button2->setEnabled(true);
}
