#pragma once

#include <QString>

#include <memory>

class TDataModule2;
class TMain;

namespace qly {

// The program's title (the text of the task-bar button and of the standard
// message boxes), with its one trailing blank.
inline constexpr const char* kApplicationTitle = "Quillory ";

// The start-up of the program after the application object exists: widens
// the short date format to four-digit years, sets the title and the help
// file, creates the main window and then the data module, which binds the
// window's data-aware controls and opens the tables. Destroying the program
// destroys the window first, then the data module.
class Program {
public:
    Program();
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Steps 2 to 6 of the start-up order, after telling the user about a
    // settings file that cannot be read. False when the program cannot run
    // (the main window could not open LOOKUP.DBF in the working folder; the
    // error has been shown), or when the data folder holds none of the three
    // tables and the user declined the offer to create them empty there (or
    // their creation failed, shown with the path and the cause).
    bool start();

    TMain* mainWindow() const { return m_window.get(); }
    TDataModule2* dataModule() const { return m_dataModule.get(); }

private:
    // Names a settings file that cannot be read (and what becomes of it) in
    // a message box, once, before anything reads the store.
    void reportSettingsProblem();
    // Offers empty tables for a data folder without any; false when the
    // program cannot go on.
    bool offerTables();

    std::unique_ptr<TMain> m_window;
    std::unique_ptr<TDataModule2> m_dataModule;
};

// The whole program: application object, start-up, event loop. Returns the
// process's exit code.
int runProgram(int argc, char** argv);

}  // namespace qly
