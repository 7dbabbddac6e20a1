#pragma once

#include <QApplication>

// The application object. Any exception that escapes an event handler is
// caught here and shown in the standard error box with its message; the
// program goes on.
class QlyApplication : public QApplication {
    Q_OBJECT

public:
    QlyApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};
