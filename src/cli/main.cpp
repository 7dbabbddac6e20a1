// qlyctl: the command-line companion of Quillory.

#include <cstdio>
#include <cstring>
#include <string>

#include "cli/Commands.h"

namespace {

struct Command {
    const char* name;
    int (*run)(const qlyctl::Args&);
    const char* synopsis;
};

const Command kCommands[] = {
    {"init", qlyctl::cmdInit, "init FOLDER"},
    {"dump", qlyctl::cmdDump, "dump TABLE [--order TAG] [--deleted]"},
    {"reindex", qlyctl::cmdReindex, "reindex TABLE"},
    {"export", qlyctl::cmdExport, "export TABLE OUT.csv [--rtf]"},
    {"import", qlyctl::cmdImport,
     "import TABLE IN.csv [--dry-run] [--map COLUMN=FIELD]... [--rtf]"},
    {"deleted", qlyctl::cmdDeleted, "deleted TABLE"},
    {"recall", qlyctl::cmdRecall, "recall TABLE RECNO..."},
    {"backup", qlyctl::cmdBackup,
     "backup ARCHIVE FILESPEC... [--level fastest|none|default|max] [--volume-size BYTES]\n"
     "         [--title TEXT] [--file-ids] [--incremental]"},
    {"restore", qlyctl::cmdRestore,
     "restore ARCHIVE FOLDER [--mode all|no-overwrite|newer|existing|existing-newer] "
     "[--full-path]"},
    {"list", qlyctl::cmdList, "list ARCHIVE"},
    {"verify", qlyctl::cmdVerify, "verify ARCHIVE | TABLE.dbf"},
    {"report", qlyctl::cmdReport, "report items|locations|manufacturers FOLDER OUT.pdf"},
    {"version", qlyctl::cmdVersion, "version [FILE]"},
};

void printUsage(std::FILE* out) {
    std::fprintf(out, "usage: qlyctl COMMAND [ARGUMENTS]\n\ncommands:\n");
    for (const Command& c : kCommands) {
        std::fprintf(out, "  qlyctl %s\n", c.synopsis);
    }
    std::fprintf(out, "\nexit codes: 0 success, 1 failure, 2 bad usage, 3 cancelled\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        printUsage(stderr);
        return qlyctl::kExitUsage;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        printUsage(stdout);
        return qlyctl::kExitOk;
    }
    for (const Command& c : kCommands) {
        if (name == c.name) {
            return c.run(qlyctl::Args(argv + 2, argv + argc));
        }
    }
    std::fprintf(stderr, "qlyctl: unknown command '%s'\n\n", name.c_str());
    printUsage(stderr);
    return qlyctl::kExitUsage;
}
