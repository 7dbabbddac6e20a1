#include <cstdio>

#include "cli/Commands.h"

namespace qlyctl {

// Placeholders until the archive commands are written.
static int notYet(const char* name) {
    std::fprintf(stderr, "qlyctl %s: not available in this build\n", name);
    return kExitFailure;
}

int cmdBackup(const Args&) { return notYet("backup"); }
int cmdRestore(const Args&) { return notYet("restore"); }
int cmdList(const Args&) { return notYet("list"); }
int cmdVerify(const Args&) { return notYet("verify"); }

}  // namespace qlyctl
