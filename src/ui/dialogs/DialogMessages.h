#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

// The plain message boxes of the dialogs. They all go through one function so
// that tests can replace the boxes: a hook receives the text and gives the
// answer instead of a box being shown.
namespace qly {

enum class MessageKind { Information, Warning, Error, Confirmation };

using MessageHook = std::function<QMessageBox::StandardButton(
    QWidget* parent, MessageKind kind, const QString& text, QMessageBox::StandardButtons buttons)>;

// Shows a message box (captioned with the application name, "Confirm" for a
// question) and returns the button pressed; with a hook set, asks the hook.
QMessageBox::StandardButton showMessage(QWidget* parent, MessageKind kind, const QString& text,
                                        QMessageBox::StandardButtons buttons = QMessageBox::Ok);

// Replaces the boxes by a hook (an empty hook brings the boxes back) and
// returns the hook that was set before.
MessageHook setMessageHook(MessageHook hook);

}  // namespace qly
