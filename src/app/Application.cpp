#include "app/Application.h"

#include "widgets/data/ErrorBox.h"

#include <exception>

QlyApplication::QlyApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool QlyApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        qly::showErrorBox(QString::fromStdString(error.what()));
    } catch (...) {
        qly::showErrorBox(QStringLiteral("Unknown error"));
    }
    return false;
}
