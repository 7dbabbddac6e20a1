#include "widgets/data/ErrorBox.h"

#include <QApplication>
#include <QMessageBox>

namespace qly {

void showErrorBox(const QString& message, QWidget* parent) {
    if (!parent)
        parent = QApplication::activeWindow();
    QMessageBox box(QMessageBox::Critical, QCoreApplication::applicationName(), message,
                    QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("ErrorBox"));
    box.exec();
}

}  // namespace qly
