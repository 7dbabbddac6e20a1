#pragma once

// A started program on a throw-away installation, for the tests that drive
// the whole main window.

#include "MainTestSupport.h"
#include "app/Program.h"
#include "data/DataModule2.h"
#include "ui/main/Main.h"

#include <memory>

namespace qlytest {

// A started program on an installation.
struct Run {
    BoxCatcher boxes;  // answers every message box; tests read what they said
    std::unique_ptr<Installation> installation;
    std::unique_ptr<qly::Program> program;
    TMain* window = nullptr;
    TDataModule2* dm = nullptr;

    ~Run() {
        program.reset();  // before the installation's folders go
        installation.reset();
    }
};

}  // namespace qlytest
