#include "app/Program.h"

#include "app/Application.h"
#include "data/DataModule2.h"
#include "data/DateFormat.h"
#include "data/InventoryTables.h"
#include "settings/DataPath.h"
#include "settings/SettingsStore.h"
#include "ui/main/Main.h"
#include "widgets/data/ErrorBox.h"
#include "widgets/help/HelpWindow.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QMessageBox>

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
    // Menus, message boxes and file dialogs speak in the forms' font.
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(17);
    for (const char* kind : {"QMenu", "QMenuBar", "QMessageBox", "QFileDialog"})
        QApplication::setFont(font, kind);

    reportSettingsProblem();
    m_window = std::make_unique<TMain>();
    if (m_window->lookupOpenFailed())
        return false;

    m_dataModule = std::make_unique<TDataModule2>();
    m_dataModule->errorReporter = [this](const QString& message) {
        showErrorBox(message, m_window.get());
    };
    m_window->connectDataModule(m_dataModule.get());
    if (!offerTables())
        return false;
    m_dataModule->DataModule2Create();
    return true;
}

void Program::reportSettingsProblem() {
    // The window and the data module read the store after this; they say
    // nothing about the file itself.
    SettingsStore store;
    (void)store.open();
    if (store.problem().empty())
        return;
    QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(),
                    QString::fromStdString(store.problem()), QMessageBox::Ok);
    box.setObjectName(QStringLiteral("SettingsProblem"));
    box.exec();
}

bool Program::offerTables() {
    // Only a data folder holding none of the three tables gets the offer; a
    // folder missing one of them keeps the open error naming that file.
    try {
        m_dataModule->ReadReg();
    } catch (const std::exception&) {
        return true;  // the creation handler reports the settings' error
    }
    QString folder = m_dataModule->DataPath;
    if (folder.isEmpty())
        folder = !m_dataModule->programFolder.isEmpty()
                     ? m_dataModule->programFolder
                     : QString::fromStdString(qly::programFolder());
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    const std::vector<inventory::TableDef> tables = inventory::inventoryTables();
    if (!inventory::firstExisting(folder.toStdString(), tables).empty())
        return true;
    const QString native = QDir::toNativeSeparators(folder);
    QMessageBox box(QMessageBox::Question, QCoreApplication::applicationName(),
                    QStringLiteral("The data folder %1 holds no inventory tables.\n\n"
                                   "Create empty tables there?")
                        .arg(native),
                    QMessageBox::Yes | QMessageBox::No, m_window.get());
    box.setObjectName(QStringLiteral("CreateTablesQuestion"));
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    if (box.exec() != QMessageBox::Yes)
        return false;
    std::string error;
    if (!QDir().mkpath(folder)) {
        showErrorBox(native + QStringLiteral(": cannot create the folder"), m_window.get());
        return false;
    }
    if (!inventory::createTables(folder.toStdString(), tables, error)) {
        showErrorBox(QString::fromStdString(error), m_window.get());
        return false;
    }
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
