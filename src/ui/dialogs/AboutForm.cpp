#include "ui/dialogs/AboutForm.h"

#include "ui_AboutForm.h"
#include "widgets/FormScaler.h"

#include <QFont>
#include <QPalette>

namespace {

QFont pixelFont(const char* family, int pixels, bool bold = false, bool italic = false) {
    QFont f(QString::fromLatin1(family));
    f.setPixelSize(pixels);
    f.setBold(bold);
    f.setItalic(italic);
    return f;
}

void setColor(QWidget* widget, QPalette::ColorRole role, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(role, color);
    widget->setPalette(palette);
}

}  // namespace

TAboutForm::TAboutForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::TAboutForm>()) {
    Q_INIT_RESOURCE(AboutForm);  // the pictures live in this static library
    ui->setupUi(this);
    setFont(pixelFont("Arial", 17));
    setFixedSize(406, 354);

    const QPixmap logo(QStringLiteral(":/ui/dialogs/pictures/logo.png"));
    ui->Image1->setPixmap(logo);
    ui->Image1->resize(logo.size());      // sized to the picture
    ui->Image1->setScaledContents(true);  // and scaled with its bounds

    ui->Panel2->setAutoFillBackground(true);
    setColor(ui->Panel2, QPalette::Window, QColor(0, 128, 128));
    ui->Label1->setFont(pixelFont("Arial", 30, true, true));
    setColor(ui->Label1, QPalette::WindowText, QColor(0, 0, 255));

    ui->VersionLabel1->setFont(pixelFont("Times New Roman", 27, true, true));
    ui->VersionLabel2->setFont(pixelFont("Times New Roman", 20, true));
    ui->VersionLabel3->setFont(pixelFont("Times New Roman", 13));

    ui->BitBtn1->setIcon(QIcon(QStringLiteral(":/ui/dialogs/pictures/ok.png")));
    connect(ui->BitBtn1, &QPushButton::clicked, this, &QDialog::accept);

    // Fitted to the screen and centred on it by its scaler, as the other dialogs are.
    auto* scaler = new TFormScaler(this);
    scaler->setObjectName(QStringLiteral("FormScaler1"));
    scaler->setDesignMetrics(QSize(1152, 864), 120, QRect(360, 243, 414, 381), QSize(406, 354));
}

TAboutForm::~TAboutForm() = default;
