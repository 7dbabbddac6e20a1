#!/usr/bin/env python3
"""Checks that every file includes only what its library may use.

Reads the #include lines of src/, tests/, bench/ and fuzz/ and fails, naming
file and line, when one crosses the layers of the program:

  - a library includes another library only when the table below allows it,
    and then only that library's public headers;
  - the engine is included by data/ alone (and qlyctl), through engine/xbase.h;
  - no Qt below data/ (base, engine, archive, settings, version); data/ uses
    Qt Core only; base uses the standard library (and the system's C headers);
  - zlib only in archive/, GoogleTest only in tests, Google Benchmark only in
    bench/.

A test folder (tests/NAME) or a benchmark folder (bench/NAME) may include what
its library may, that library's own headers, and the helpers of the test or
benchmark tree (tests/support, bench/common, or any header it finds there).

It also checks that the public headers named here are the ones the CMake
files declare (qly_library(... PUBLIC_HEADERS ...)), so the two lists agree.

Usage: scripts/check-layers.py [--includes-only] [ROOT]
ROOT: the source tree (default: the folder above this script). With
--includes-only the lists of this tree (public headers in CMake, exceptions)
are not compared. Exit code 0 when clean, 1 with one line a fault.
"""

import os
import re
import sys

# ---------------------------------------------------------------------------
# The layers.
#
# LIBRARIES: folder under src/ -> (the libraries it may use directly, the Qt
# modules it may include). A library may also use what those use, except the
# engine, which only the libraries naming it directly may include.
# Folders are matched longest first ("ui/main" before "ui").

NO_QT = ()
ALL_QT = ("QtCore", "QtGui", "QtWidgets", "QtPrintSupport", "QtTest")

LIBRARIES = {
    "base": ((), NO_QT),
    "engine": (("base",), NO_QT),
    "archive": (("base",), NO_QT),
    "settings": (("base",), NO_QT),
    "version": (("base",), NO_QT),
    "data": (("engine", "settings"), ("QtCore",)),
    "widgets": (("data", "version"), ("QtCore", "QtGui", "QtWidgets")),
    "reports": (("data", "widgets"), ("QtCore", "QtGui", "QtWidgets", "QtPrintSupport")),
    "ui/dialogs": (("widgets", "data", "archive", "reports"), ALL_QT),
    "ui/main": (("widgets", "data", "reports", "ui/dialogs"), ALL_QT),
    "app": (
        (
            "base",
            "archive",
            "settings",
            "version",
            "data",
            "widgets",
            "reports",
            "ui/dialogs",
            "ui/main",
        ),
        ALL_QT,
    ),
    # qlyctl: the public headers of these, nothing they use below them.
    "cli": (("engine", "archive", "settings", "version", "data", "reports"), ("QtCore", "QtGui")),
}

# Libraries whose allowance does not pass on to the libraries above them.
NOT_TRANSITIVE = {"engine"}

# Libraries that name exactly what they may use (no transitive allowance).
EXPLICIT_ONLY = {"cli"}

# The headers a library offers to the libraries above it (paths from src/).
# Everything else in its folder is private to it.
PUBLIC_HEADERS = {
    "base": ["base/ByteOrder.h", "base/FileSystem.h", "base/Result.h"],
    "engine": ["engine/xbase.h"],
    "archive": [
        "archive/ArchiveScan.h",
        "archive/Archiver.h",
        "archive/FileAccess.h",
        "archive/FileInfo.h",
        "archive/Format.h",
        "archive/Messages.h",
    ],
    "settings": ["settings/DataPath.h", "settings/RegistryText.h", "settings/SettingsStore.h"],
    "version": ["version/Executable.h", "version/VersionRecord.h", "version/VersionText.h"],
    "data": [
        "data/DataLink.h",
        "data/DataModule2.h",
        "data/DataSource.h",
        "data/DateFormat.h",
        "data/DbTable.h",
        "data/Error.h",
        "data/Field.h",
        "data/GridModel.h",
        "data/InventoryTables.h",
        "data/Messages.h",
        "data/XBase.h",
        "data/XBaseEnv.h",
        "data/XbTable.h",
    ],
    "widgets": [
        "widgets/FormLayout.h",
        "widgets/FormScaler.h",
        "widgets/controls/DBCheckBox.h",
        "widgets/controls/DBComboBox.h",
        "widgets/controls/DBDateEdit.h",
        "widgets/controls/DBEdit.h",
        "widgets/controls/DBNavigator.h",
        "widgets/controls/DBRichEdit.h",
        "widgets/controls/DataFieldControl.h",
        "widgets/controls/EditMask.h",
        "widgets/controls/IncrementalSearch.h",
        "widgets/data/DBGrid.h",
        "widgets/data/DBLookupCombo.h",
        "widgets/data/DBStateStatus.h",
        "widgets/data/ErrorBox.h",
        "widgets/help/HelpWindow.h",
        "widgets/richtext/RichTextEdit.h",
        "widgets/richtext/Rtf.h",
        "widgets/version/VersionLabel.h",
    ],
    "reports": [
        "reports/BandReport.h",
        "reports/DestinationPrompt.h",
        "reports/ListReports.h",
        "reports/Messages.h",
        "reports/PageOutput.h",
        "reports/PreviewWindow.h",
        "reports/ReportRun.h",
    ],
    "ui/dialogs": [
        "ui/dialogs/AboutForm.h",
        "ui/dialogs/DialogMessages.h",
        "ui/dialogs/FolderPicker.h",
        "ui/dialogs/Maint.h",
        "ui/dialogs/Preferences.h",
        "ui/dialogs/Reports.h",
    ],
    "ui/main": ["ui/main/Main.h"],
    "app": ["app/Application.h", "app/Program.h"],
    "cli": [],
}

# Test and benchmark folders whose library is not named like the folder.
TEST_FOLDERS = {"ui": ("ui/main", "ui/dialogs", "app")}

# Helpers any test (or benchmark) may include: they may include the public
# headers of every library.
SHARED_TEST_HELPERS = {"tests/support", "bench/common"}

# Includes not yet on the rule, each with the reason; a listed include that
# is gone is reported so that the entry is removed.
_CSV = "the CSV transfer moves into data/ and qlyctl becomes its thin caller"
_DELETED = "listing and recall of deleted records move into data/ beside the CSV transfer"
_SEARCH = "the incremental search and the navigator move onto TDbTable (locate, findNearest)"
_FAULT = "the post-failure tests move to the faulting file system of base/"
_FIXTURE = "builds its tables through the engine; data/ has no call for a table without records"
EXCEPTIONS = {
    ("src/cli/CsvCommands.cpp", "engine/Dates.h"): _CSV,
    ("src/cli/CsvCommands.cpp", "engine/Engine.h"): _CSV,
    ("src/cli/CsvCommands.cpp", "engine/File.h"): _CSV,
    ("src/cli/CsvCommands.cpp", "engine/IndexSet.h"): _CSV,
    ("src/cli/CsvCommands.cpp", "engine/Table.h"): _CSV,
    ("src/cli/CsvCommands.cpp", "engine/WorkArea.h"): _CSV,
    ("src/cli/CsvCommands.cpp", "widgets/richtext/CodePage.h"): _CSV,
    ("src/cli/CsvCommands.cpp", "widgets/richtext/Rtf.h"): _CSV,
    ("src/cli/DeletedCommands.cpp", "engine/Engine.h"): _DELETED,
    ("src/cli/DeletedCommands.cpp", "engine/Table.h"): _DELETED,
    ("src/cli/DeletedCommands.cpp", "engine/WorkArea.h"): _DELETED,
    ("src/widgets/controls/DBNavigator.cpp", "engine/xbase.h"): _SEARCH,
    ("src/widgets/controls/IncrementalSearch.cpp", "engine/xbase.h"): _SEARCH,
    ("tests/data/data_post_test.cpp", "engine/File.h"): _FAULT,
    ("tests/ui/main/ui_main_window_test.cpp", "engine/Field.h"): _FIXTURE,
    ("tests/ui/main/ui_main_window_test.cpp", "engine/IndexSet.h"): _FIXTURE,
    ("tests/ui/main/ui_main_window_test.cpp", "engine/Settings.h"): _FIXTURE,
    ("bench/reports/ReportBench.cpp", "engine/Field.h"): _FIXTURE,
    ("bench/reports/ReportBench.cpp", "engine/IndexSet.h"): _FIXTURE,
    ("bench/reports/ReportBench.cpp", "engine/Settings.h"): _FIXTURE,
    ("bench/reports/ReportBench.cpp", "engine/xbase.h"): _FIXTURE,
    ("bench/ui/MainWindowBench.cpp", "engine/Field.h"): _FIXTURE,
    ("bench/ui/MainWindowBench.cpp", "engine/IndexSet.h"): _FIXTURE,
    ("bench/ui/MainWindowBench.cpp", "engine/Settings.h"): _FIXTURE,
    ("bench/ui/MainWindowBench.cpp", "engine/xbase.h"): _FIXTURE,
}

EXTERNAL = {
    "zlib": (re.compile(r"^zlib\.h$"), {"archive"}),
    "GoogleTest": (re.compile(r"^(gtest|gmock)/"), set()),
    "Google Benchmark": (re.compile(r"^benchmark/"), set()),
}

SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc", ".c")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]')
GENERATED = re.compile(r"^(ui_[A-Za-z0-9_]+\.h|[A-Za-z0-9_]+\.moc|moc_[A-Za-z0-9_]+\.cpp)$")


def library_of(path_from_src):
    """The library (key of LIBRARIES) a path under src/ belongs to, or None."""
    best = None
    for name in LIBRARIES:
        if path_from_src == name or path_from_src.startswith(name + "/"):
            if best is None or len(name) > len(best):
                best = name
    return best


def allowed_libraries(library):
    """The libraries `library` may include, itself left out."""
    direct, _ = LIBRARIES[library]
    if library in EXPLICIT_ONLY:
        return set(direct)
    result = set()
    pending = list(direct)
    first = set(direct)
    while pending:
        lib = pending.pop()
        if lib in result:
            continue
        if lib in NOT_TRANSITIVE and lib not in first:
            continue
        result.add(lib)
        pending.extend(LIBRARIES[lib][0])
    result.discard(library)
    return result


def qt_modules(root_hint):
    """Maps a Qt class header (<QString>) to its module, from the installed Qt."""
    candidates = [
        "/usr/include/x86_64-linux-gnu/qt6",
        "/usr/include/aarch64-linux-gnu/qt6",
        "/usr/include/qt6",
    ]
    env = os.environ.get("QT_INCLUDE_DIR")
    if env:
        candidates.insert(0, env)
    modules = {}
    for base in candidates:
        if not os.path.isdir(base):
            continue
        for module in os.listdir(base):
            folder = os.path.join(base, module)
            if not module.startswith("Qt") or not os.path.isdir(folder):
                continue
            for name in os.listdir(folder):
                if name.startswith("Q") and "." not in name:
                    modules.setdefault(name, module)
        break
    return modules


class Checker:
    def __init__(self, root):
        self.root = root
        self.faults = []
        self.qt = qt_modules(root)
        self.used_exceptions = set()

    def fault(self, path, line, text):
        self.faults.append("%s:%d: %s" % (path, line, text))

    def exists(self, rel):
        return os.path.isfile(os.path.join(self.root, rel))

    def resolve(self, rel_file, name):
        """Where a quoted include of rel_file lands: (tree, path from tree) or None."""
        here = os.path.dirname(rel_file)
        local = os.path.normpath(os.path.join(here, name))
        tree = rel_file.split("/", 1)[0]
        if self.exists(local):
            if tree == "src":
                return ("src", local[len("src/") :])
            return (tree, local)
        if tree in ("tests", "bench", "fuzz") and self.exists(os.path.join(tree, name)):
            return (tree, os.path.join(tree, name))
        if self.exists(os.path.join("src", name)):
            return ("src", name)
        return None

    def subject(self, rel_file):
        """(library whose rules apply, own libraries, is a test helper shared by all)."""
        tree, _, rest = rel_file.partition("/")
        if tree == "src":
            lib = library_of(rest)
            return lib, {lib} if lib else set(), False
        if tree in ("tests", "bench"):
            folder = rest.split("/", 1)[0]
            if "%s/%s" % (tree, folder) in SHARED_TEST_HELPERS:
                return None, set(), True
            own = TEST_FOLDERS.get(folder, (folder,))
            own = tuple(o for o in own if o in LIBRARIES)
            return (own[0] if own else None), set(own), False
        if tree == "fuzz":
            # A fuzz target compiles its library's sources in: it sees them all.
            return None, set(), True
        return None, set(), False

    def qt_allowed(self, libs):
        allowed = set()
        for lib in libs:
            allowed.update(LIBRARIES[lib][1])
        return allowed

    def check_file(self, rel_file):
        lib, own, shared_helper = self.subject(rel_file)
        if lib is None and not shared_helper:
            return
        tree = rel_file.split("/", 1)[0]
        in_src = tree == "src"
        may = set()
        for o in own:
            may |= allowed_libraries(o)
        may -= own
        qt_ok = self.qt_allowed(own) if own else set(ALL_QT)
        if tree == "tests":
            qt_ok |= {"QtTest"} if qt_ok else set()
        with open(os.path.join(self.root, rel_file), encoding="utf-8", errors="replace") as f:
            lines = f.readlines()
        for number, line in enumerate(lines, 1):
            m = INCLUDE.match(line)
            if not m:
                continue
            kind, name = m.group(1), m.group(2).strip()
            if kind == "<":
                self.check_system(rel_file, number, name, own, qt_ok, tree)
                continue
            if GENERATED.match(os.path.basename(name)):
                continue
            target = self.resolve(rel_file, name)
            if target is None:
                self.fault(rel_file, number, 'includes "%s", which is not in the tree' % name)
                continue
            target_tree, target_path = target
            if target_tree != "src":
                if in_src:
                    self.fault(rel_file, number, 'includes "%s" from %s/' % (name, target_tree))
                continue  # a helper of the test or benchmark tree
            target_lib = library_of(target_path)
            if target_lib is None or target_lib in own:
                continue
            key = (rel_file, target_path)
            if key in EXCEPTIONS:
                self.used_exceptions.add(key)
                continue
            if not shared_helper and target_lib not in may:
                whose = own and ", ".join(sorted(own)) or lib
                self.fault(
                    rel_file,
                    number,
                    'includes "%s": %s may not use %s' % (name, whose, target_lib),
                )
            elif tree != "fuzz" and target_path not in PUBLIC_HEADERS.get(target_lib, []):
                self.fault(
                    rel_file,
                    number,
                    'includes "%s", a private header of %s (public: %s)'
                    % (name, target_lib, ", ".join(PUBLIC_HEADERS.get(target_lib, [])) or "none"),
                )

    def check_system(self, rel_file, number, name, own, qt_ok, tree):
        first = name.split("/", 1)[0]
        module = None
        if first.startswith("Qt") and "/" in name:
            module = first
        elif re.match(r"^Q[A-Za-z0-9]+$", name):
            module = self.qt.get(name, "Qt")
        if module is not None:
            if not qt_ok:
                self.fault(rel_file, number, "includes <%s>: no Qt below data/" % name)
            elif module != "Qt" and module not in qt_ok:
                self.fault(
                    rel_file,
                    number,
                    "includes <%s> (%s): %s may use %s"
                    % (name, module, ", ".join(sorted(own)), ", ".join(sorted(qt_ok))),
                )
            return
        for what, (pattern, users) in EXTERNAL.items():
            if not pattern.search(name):
                continue
            if what == "GoogleTest" and tree == "tests":
                return
            if what == "Google Benchmark" and tree == "bench":
                return
            if tree == "fuzz" or own & users:
                return
            self.fault(rel_file, number, "includes <%s>: %s is not for %s" % (name, what, rel_file))
            return

    def check_cmake_lists(self):
        """The PUBLIC_HEADERS of qly_library() calls agree with the table above."""
        declared = {}
        call = re.compile(r"qly_library\s*\((.*?)\)", re.S)
        for folder, _, files in os.walk(os.path.join(self.root, "src")):
            if "CMakeLists.txt" not in files:
                continue
            rel_folder = os.path.relpath(folder, os.path.join(self.root, "src"))
            with open(os.path.join(folder, "CMakeLists.txt"), encoding="utf-8") as f:
                text = re.sub(r"#[^\n]*", "", f.read())
            for m in call.finditer(text):
                words = m.group(1).split()
                if "PUBLIC_HEADERS" not in words:
                    continue
                i = words.index("PUBLIC_HEADERS") + 1
                while i < len(words) and words[i] not in ("SOURCES", "LIBS", "PRIVATE_LIBS"):
                    lib = library_of(os.path.normpath(os.path.join(rel_folder, words[i])))
                    declared.setdefault(lib, set()).add(
                        os.path.normpath(os.path.join(rel_folder, words[i]))
                    )
                    i += 1
        for lib, headers in sorted(PUBLIC_HEADERS.items()):
            missing = set(headers) - declared.get(lib, set())
            extra = declared.get(lib, set()) - set(headers)
            for h in sorted(missing):
                self.fault("src/%s/CMakeLists.txt" % lib, 1, "does not declare %s public" % h)
            for h in sorted(extra):
                self.fault("src/%s/CMakeLists.txt" % lib, 1, "declares %s public; the check does not" % h)
        for lib, headers in PUBLIC_HEADERS.items():
            for h in headers:
                if not self.exists(os.path.join("src", h)):
                    self.fault("scripts/check-layers.py", 1, "public header %s does not exist" % h)

    def run(self, includes_only=False):
        for tree in ("src", "tests", "bench", "fuzz"):
            for folder, dirs, files in os.walk(os.path.join(self.root, tree)):
                dirs.sort()
                for name in sorted(files):
                    if name.endswith(SOURCE_SUFFIXES):
                        rel = os.path.relpath(os.path.join(folder, name), self.root)
                        self.check_file(rel)
        if includes_only:
            return self.faults
        self.check_cmake_lists()
        for key, reason in sorted(EXCEPTIONS.items()):
            if key not in self.used_exceptions:
                self.fault(key[0], 1, 'no longer includes "%s": remove its exception' % key[1])
        return self.faults


def main(argv):
    args = argv[1:]
    includes_only = "--includes-only" in args
    args = [a for a in args if a != "--includes-only"]
    root = args[0] if args else os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    faults = Checker(root).run(includes_only)
    for f in faults:
        print(f)
    if faults:
        print("check-layers: %d include(s) cross the layers" % len(faults), file=sys.stderr)
        return 1
    print("check-layers: every include keeps to its layer")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
