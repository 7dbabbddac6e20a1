#include "ui/dialogs/DialogMessages.h"

#include <QCoreApplication>

namespace qly {

namespace {

MessageHook& currentHook() {
    static MessageHook hook;
    return hook;
}

}  // namespace

QMessageBox::StandardButton showMessage(QWidget* parent, MessageKind kind, const QString& text,
                                        QMessageBox::StandardButtons buttons) {
    if (currentHook())
        return currentHook()(parent, kind, text, buttons);

    QMessageBox::Icon icon = QMessageBox::Information;
    QString caption = QCoreApplication::applicationName().trimmed();
    switch (kind) {
        case MessageKind::Information:
            break;
        case MessageKind::Warning:
            icon = QMessageBox::Warning;
            break;
        case MessageKind::Error:
            icon = QMessageBox::Critical;
            break;
        case MessageKind::Confirmation:
            icon = QMessageBox::Question;
            caption = QStringLiteral("Confirm");
            break;
    }
    QMessageBox box(icon, caption, text, buttons, parent);
    box.setObjectName(QStringLiteral("MessageBox"));
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

MessageHook setMessageHook(MessageHook hook) {
    MessageHook previous = std::move(currentHook());
    currentHook() = std::move(hook);
    return previous;
}

}  // namespace qly
