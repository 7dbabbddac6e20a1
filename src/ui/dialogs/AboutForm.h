#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class TAboutForm;
}

// The about box: the maker's logo and name, and the product's name, version
// and legal notice as three version labels reading the program's own
// version record. It holds no product text of its own. The main window
// creates one for each About command, shows it modally and destroys it when
// "OK" or the close box ends it.
class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent = nullptr);
    ~TAboutForm() override;

private:
    std::unique_ptr<Ui::TAboutForm> ui;
};
