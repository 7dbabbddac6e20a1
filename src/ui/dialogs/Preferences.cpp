#include "ui/dialogs/Preferences.h"

#include "data/Error.h"
#include "settings/DataPath.h"
#include "settings/SettingsStore.h"
#include "ui/dialogs/DialogMessages.h"
#include "ui/dialogs/FolderPicker.h"
#include "ui_Preferences.h"
#include "widgets/FormScaler.h"
#include "widgets/help/HelpWindow.h"

#include <QButtonGroup>
#include <QFont>
#include <QRadioButton>
#include <QShortcut>

#include <cstdint>

QString TPreferences::s_dataPath;
int TPreferences::s_dateFormatIndex = -1;

namespace {

constexpr int kDateFormatCount = 7;
constexpr int kBritish = 2;

// A read that failed; ReadReg stops at the first one.
struct ReadFailed {};

void check(const qly::SettingsStatus& status) {
    if (!status.ok())
        throw ReadFailed{};
}

void throwIfFailed(const qly::SettingsStatus& status) {
    if (!status.ok())
        throw QlyError(status.message());
}

}  // namespace

TPreferences::TPreferences(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::TPreferences>()) {
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);

    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(17);
    setFont(font);
    setFixedSize(497, 325);

    m_dateFormats = new QButtonGroup(this);
    const QList<QRadioButton*> items = {ui->RadioItem0, ui->RadioItem1, ui->RadioItem2,
                                        ui->RadioItem3, ui->RadioItem4, ui->RadioItem5,
                                        ui->RadioItem6};
    for (int i = 0; i < items.size(); ++i)
        m_dateFormats->addButton(items[i], i);
    ui->RadioItem2->setChecked(true);

    connect(ui->SpeedButton1, &QToolButton::clicked, this, &TPreferences::SpeedButton1Click);
    connect(ui->Button1, &QPushButton::clicked, this, &TPreferences::Button1Click);
    connect(ui->Button4, &QPushButton::clicked, this, &TPreferences::Button1Click);
    connect(ui->Button2, &QPushButton::clicked, this, &TPreferences::Button2Click);
    connect(ui->Button3, &QPushButton::clicked, this, &TPreferences::Button3Click);
    connect(ui->Button5, &QPushButton::clicked, this, &TPreferences::Button5Click);
    connect(ui->Button6, &QPushButton::clicked, this, &TPreferences::Button6Click);
    connect(m_dateFormats, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            RadioGroup1Click();
    });
    auto* f1 = new QShortcut(QKeySequence::HelpContents, this);
    connect(f1, &QShortcut::activated, this, &TPreferences::showContextHelp);

    FormCreate();

    // Centres the dialog on the screen and scales it and its controls.
    m_formScaler = new TFormScaler(this);
    m_formScaler->setObjectName(QStringLiteral("FormScaler1"));
    m_formScaler->setDesignMetrics(QSize(1152, 864), 120, QRect(256, 281, 505, 352),
                                   QSize(497, 325));
}

TPreferences::~TPreferences() = default;

QString TPreferences::dataPath() {
    return s_dataPath;
}

int TPreferences::dateFormatIndex() {
    return s_dateFormatIndex;
}

void TPreferences::FormCreate() {
    // A new dialog shows what it read itself, not what an earlier one read.
    s_dataPath.clear();
    s_dateFormatIndex = -1;
    ReadReg();
    if (s_dataPath.isEmpty())
        s_dataPath = QString::fromStdString(qly::programFolder());
    ui->Edit1->setText(s_dataPath);
    SetDateFormat();
    ui->PageControl1->setCurrentIndex(0);
}

void TPreferences::ReadReg() {
    qly::SettingsStore reg;
    if (!reg.open())
        return;
    try {
        std::string path;
        check(reg.readString(qly::kValuePath, &path));
        s_dataPath = QString::fromStdString(path);
        std::int32_t number = 0;
        check(reg.readInteger(qly::kValueDateFormat, &number));
        s_dateFormatIndex = number;
        check(reg.readInteger(qly::kValueCentury, &number));
        ui->CheckBox1->setChecked(number != 0);
        check(reg.readInteger(qly::kValueHints, &number));
        ui->CheckBox2->setChecked(number != 0);
    } catch (const ReadFailed&) {
        reg.close();
        qly::showMessage(this, qly::MessageKind::Information,
                         QString::fromUtf8(kMsgCouldNotOpenRegistry));
        return;
    }
    reg.close();
    if (s_dataPath.isEmpty())
        s_dataPath = QString::fromStdString(qly::programFolder());
    CheckPath();
}

void TPreferences::CheckPath() {
    s_dataPath = QString::fromStdString(qly::appendPathSeparator(s_dataPath.toStdString()));
}

void TPreferences::SetDateFormat() {
    if (s_dateFormatIndex >= 0 && s_dateFormatIndex < kDateFormatCount)
        m_dateFormats->button(s_dateFormatIndex)->setChecked(true);
}

void TPreferences::RadioGroup1Click() {
    s_dateFormatIndex = m_dateFormats->checkedId();
}

void TPreferences::SpeedButton1Click() {
    QString folder;
    if (FolderPicker::getFolder(this, s_dataPath, &folder))
        ui->Edit1->setText(folder);
}

void TPreferences::Button1Click() {
    close();
}

void TPreferences::Button2Click() {
    qly::SettingsStore reg;
    // A damaged settings file is moved aside by this save.
    if (!reg.openForWriting())
        return;
    throwIfFailed(reg.writeString(qly::kValuePath, ui->Edit1->text().toStdString()));
    reg.close();
    qly::showMessage(this, qly::MessageKind::Information, QString::fromUtf8(kMsgPathSaved));
}

void TPreferences::Button3Click() {
    s_dateFormatIndex = -1;
    s_dateFormatIndex = m_dateFormats->checkedId();
    qly::SettingsStore reg;
    if (!reg.openForWriting())
        return;
    throwIfFailed(reg.writeInteger(qly::kValueDateFormat, s_dateFormatIndex));
    throwIfFailed(reg.writeInteger(qly::kValueCentury, ui->CheckBox1->isChecked() ? 1 : 0));
    throwIfFailed(reg.writeInteger(qly::kValueHints, ui->CheckBox2->isChecked() ? 1 : 0));
    reg.close();
    qly::showMessage(this, qly::MessageKind::Information, QString::fromUtf8(kMsgDatesSaved));
}

void TPreferences::Button5Click() {
    qly::HelpWindow::showContents();
}

void TPreferences::Button6Click() {
    qly::HelpWindow::showContents();
}

void TPreferences::showContextHelp() {
    qly::HelpWindow::showTopic(ui->PageControl1->currentIndex() == 0 ? kHelpContextLocation
                                                                     : kHelpContextDateFormats);
}
