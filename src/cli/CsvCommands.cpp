// qlyctl export and import: a table to and from a CSV file (data/CsvTransfer
// does the work; the program's Import/Export dialog shares it).

#include <QCoreApplication>
#include <QGuiApplication>
#include <QString>
#include <cctype>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "data/CsvTransfer.h"
#include "widgets/richtext/Rtf.h"

namespace qlyctl {

namespace {

int usage(const char* synopsis) {
    std::fprintf(stderr, "usage: qlyctl %s\n", synopsis);
    return kExitUsage;
}

int failure(const char* command, const std::string& message) {
    std::fprintf(stderr, "qlyctl %s: %s\n", command, message.c_str());
    return kExitFailure;
}

std::string upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// A GUI application for the rich-text reader's document (fonts), without a display.
void ensureGuiApplication() {
    if (QCoreApplication::instance() != nullptr)
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Notices of the platform plugin are no business of the exported file.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    });
    static int argc = 1;
    static char program[] = "qlyctl";
    static char* argv[] = {program, nullptr};
    static QGuiApplication application(argc, argv);
}

}  // namespace

int cmdExport(const Args& args) {
    const char* synopsis = "export TABLE OUT.csv [--rtf]";
    std::vector<std::string> positional;
    qly::csv::ExportOptions options;
    for (const std::string& a : args) {
        if (a == "--rtf")
            options.keepRtf = true;
        else if (!a.empty() && a[0] == '-')
            return usage(synopsis);
        else
            positional.push_back(a);
    }
    if (positional.size() != 2)
        return usage(synopsis);
    // The rich-text reader starts a GUI application only for the first RTF memo.
    options.richText = [](const std::string& stored, std::string& plain) {
        const size_t start = stored.find_first_not_of(" \t\r\n");
        if (start == std::string::npos || stored.compare(start, 5, "{\\rtf") != 0)
            return false;
        ensureGuiApplication();
        return richtext::plainTextOfRtf(stored, plain);
    };
    const qly::csv::ExportResult r = qly::csv::exportTable(positional[0], positional[1], options);
    if (!r.ok)
        return failure("export", r.error);
    std::printf("exported %zu records of %s to %s\n", r.records, r.tablePath.c_str(),
                positional[1].c_str());
    return kExitOk;
}

int cmdImport(const Args& args) {
    const char* synopsis = "import TABLE IN.csv [--dry-run] [--map COLUMN=FIELD]... [--rtf]";
    std::vector<std::string> positional;
    qly::csv::ImportOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--dry-run") {
            options.dryRun = true;
        } else if (a == "--rtf") {
            // memo text is stored as given, RTF or plain
        } else if (a == "--map" || a.rfind("--map=", 0) == 0) {
            std::string mapText =
                a == "--map" ? (i + 1 < args.size() ? args[++i] : "") : a.substr(6);
            const size_t eq = mapText.find('=');
            if (eq == std::string::npos || eq == 0)
                return usage(synopsis);
            options.mapping[upper(mapText.substr(0, eq))] = upper(mapText.substr(eq + 1));
        } else if (!a.empty() && a[0] == '-') {
            return usage(synopsis);
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2)
        return usage(synopsis);
    const std::string& csvPath = positional[1];
    const qly::csv::ImportResult r = qly::csv::importTable(positional[0], csvPath, options);
    using Outcome = qly::csv::ImportResult::Outcome;
    switch (r.outcome) {
        case Outcome::Refused:
            for (const qly::csv::Fault& f : r.faults)
                std::fprintf(stderr, "%s\n", qly::csv::faultLine(csvPath, f).c_str());
            std::fprintf(stderr, "qlyctl import: %zu faults; nothing was written to %s\n",
                         r.faults.size(), r.tablePath.c_str());
            return kExitFailure;
        case Outcome::Checked:
            std::printf("%zu rows of %s can be imported into %s (dry run: nothing written)\n",
                        r.rows, csvPath.c_str(), r.tablePath.c_str());
            return kExitOk;
        case Outcome::Imported:
            std::printf("imported %zu rows of %s into %s (backup %s)\n", r.appended,
                        csvPath.c_str(), r.tablePath.c_str(), r.backupPath.c_str());
            return kExitOk;
        case Outcome::Failed:
            break;
    }
    return failure("import", r.error);
}

}  // namespace qlyctl
