#include "app/Program.h"

#include "app/Application.h"
#include "data/DataModule2.h"
#include "data/DateFormat.h"
#include "ui/main/Main.h"
#include "widgets/data/ErrorBox.h"
#include "widgets/help/HelpWindow.h"

namespace qly {

Program::Program() = default;

Program::~Program() {
    m_window.reset();
    m_dataModule.reset();
}

bool Program::start() {
    dates::widenShortDateFormat();
    QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
    // The help file: the folder of help pages beside the program (or the
    // build tree's copy).
    HelpWindow::setHelpFolder(HelpWindow::helpFolder());

    m_window = std::make_unique<TMain>();
    if (m_window->lookupOpenFailed())
        return false;

    m_dataModule = std::make_unique<TDataModule2>();
    m_dataModule->errorReporter = [this](const QString& message) {
        showErrorBox(message, m_window.get());
    };
    m_window->connectDataModule(m_dataModule.get());
    m_dataModule->DataModule2Create();
    return true;
}

int runProgram(int argc, char** argv) {
    QlyApplication application(argc, argv);
    Program program;
    if (!program.start())
        return 1;
    program.mainWindow()->show();
    return application.exec();
}

}  // namespace qly
