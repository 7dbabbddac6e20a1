#include <cstdio>

#include "cli/Commands.h"

namespace qlyctl {

// Placeholders until the table commands are written.
static int notYet(const char* name) {
    std::fprintf(stderr, "qlyctl %s: not available in this build\n", name);
    return kExitFailure;
}

int cmdInit(const Args&) { return notYet("init"); }
int cmdDump(const Args&) { return notYet("dump"); }
int cmdReindex(const Args&) { return notYet("reindex"); }

}  // namespace qlyctl
