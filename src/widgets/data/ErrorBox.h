#pragma once

#include <QString>

class QWidget;

namespace qly {

// The application's standard error box: a critical message box captioned
// with the application title, showing the message of an error that ended a
// handler, with one OK button. The program goes on afterwards.
void showErrorBox(const QString& message, QWidget* parent = nullptr);

}  // namespace qly
