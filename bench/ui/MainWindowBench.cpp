// Main window benchmarks (offscreen): the window shown with its first grid
// rows once the tables are open, a category chosen, a letter typed in the
// category box, a manufacturer chosen, a scroll to the last row and one
// rescale of the whole window, on generated tables of 100,000 and 1,000,000
// items with 100,000 manufacturers. The tables are made once per size in
// the temporary folder (qly-bench-ui-N) and kept for later runs. Counters:
// rows listed, records the grid read, resident memory in MB.

#include "common/DbfFiller.h"
#include "data/DataModule2.h"
#include "data/DbTable.h"
#include "data/XBase.h"
#include "engine/Field.h"
#include "engine/IndexSet.h"
#include "engine/Settings.h"
#include "engine/xbase.h"
#include "ui/main/Main.h"
#include "widgets/FormScaler.h"
#include "widgets/data/DBGrid.h"
#include "widgets/data/DBLookupCombo.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QScreen>
#include <QTest>
#include <QToolButton>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using qly::engine::Field;
using qly::engine::TagDef;

constexpr long kManufacturers = 100000;
const char* const kCategories[] = {
    "Bookshelves",     "Buildings", "Chair",       "Computers",
    "Copiers",         "Desk",      "Fax Machine", "Misc Office Supplies",
    "Misc. Furniture", "Other",     "Software",    "Typewritter",
    "Vehicles"};

Field character(const char* name, int width) {
    return Field{name, 'C', width, 0, 0};
}
Field numeric(const char* name, int width) {
    return Field{name, 'N', width, 0, 0};
}
Field date(const char* name) {
    return Field{name, 'D', 8, 0, 0};
}
Field memo(const char* name) {
    return Field{name, 'M', 10, 0, 0};
}

long residentMegabytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * 4096 / (1024 * 1024);
}

using qlybench::DbfFiller;

void reindex(const std::string& path) {
    if (xb_Use(path, "BENCH", kXbModeExclusive, kXbDriverFox) == 0) {
        std::fprintf(stderr, "cannot open %s: %s\n", path.c_str(), xb_LastError().c_str());
        return;
    }
    xb_Reindex();
    xb_Close();
}

// Makes (once) the tables of a size; returns the folder, ending in "/".
QString makeTables(long items) {
    const QString folder = QDir::tempPath() + QStringLiteral("/qly-bench-ui-%1/").arg(items);
    const std::string base = folder.toStdString();
    if (QFile::exists(folder + QStringLiteral("ready")))
        return folder;
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    qly::engine::Settings settings;
    std::string error;
    const std::vector<Field> mainFields = {character("NAME", 40),
                                           character("CATAGORY", 40),
                                           character("SERIALNUM", 50),
                                           character("PARTNUM", 50),
                                           character("MODELNUM", 40),
                                           character("MANUFACT", 40),
                                           character("LOCATION", 40),
                                           numeric("QUANTITY", 4),
                                           character("SERVCONTR", 40),
                                           character("SERVCONTAC", 50),
                                           character("SERVPNUM", 20),
                                           character("SERVCOMPAN", 40),
                                           Field{"PURCHPRICE", 'N', 12, 2, 0},
                                           date("PURCHDATE"),
                                           character("PURCHPLACE", 50),
                                           Field{"DISPOSED", 'L', 1, 0, 0},
                                           date("DISPDATE"),
                                           character("DISPMETHOD", 50),
                                           character("UNIT_ID", 20),
                                           character("USER1", 50),
                                           character("USER2", 50),
                                           character("USER3", 50),
                                           character("USER4", 50),
                                           date("DATE1"),
                                           date("DATE2"),
                                           memo("DESCRIPT")};
    const std::vector<Field> manufFields = {
        character("COMPANY", 50),   memo("ADDRESS"),        character("CITY", 50),
        character("STATEPROV", 50), character("PHONE", 20), character("FAX", 20),
        character("CONTACT", 50),   character("EMAIL", 60), character("WEBSITE", 60),
        character("USER1", 50),     character("USER2", 50), character("USER3", 50),
        character("USER4", 50),     date("DATE1"),          date("DATE2")};
    const std::vector<Field> locationFields = {
        character("NAME_ID", 50),    memo("ADDRESS"),        character("DIVISION", 50),
        character("COST_CENTR", 50), numeric("WSNUM", 4),    numeric("EMPLNUM", 4),
        character("MANAGERNAM", 50), character("PHONE", 20), character("FAX", 20),
        character("DEPARTMENT", 40), character("EMAIL", 60), character("WEBSITE", 60),
        character("USER1", 50),      character("USER2", 50), character("USER3", 50),
        character("USER4", 50)};
    // One table at a time, each with its tag (or none).
    const struct {
        const char* file;
        const std::vector<Field>* fields;
        const char* tag;
    } tables[] = {
        {"MAIN.DBF", &mainFields, "NAME"},
        {"MANUFACT.DBF", &manufFields, "COMPANY"},
        {"Location.dbf", &locationFields, "NAME_ID"},
    };
    for (const auto& table : tables) {
        std::vector<TagDef> tags(1);
        tags[0].name = table.tag;
        tags[0].keyExpression = table.tag;
        if (!qly::engine::createTable(base + table.file, *table.fields, tags, settings, error)) {
            std::fprintf(stderr, "cannot create %s: %s\n", table.file, error.c_str());
            return folder;
        }
    }
    const std::vector<Field> lookupFields = {character("COMPANY", 50), character("LOCATION", 50)};
    if (!qly::engine::createTable(base + "LOOKUP.DBF", lookupFields, std::vector<TagDef>(),
                                  settings, error)) {
        std::fprintf(stderr, "cannot create LOOKUP.DBF: %s\n", error.c_str());
        return folder;
    }
    char text[64];
    DbfFiller mainTable(base + "MAIN.DBF");
    mainTable.write(items, [&](long r, std::string& image) {
        std::snprintf(text, sizeof text, "Item %07ld", (r * 7919) % items);
        mainTable.put(image, "NAME", text);
        mainTable.put(image, "CATAGORY", kCategories[r % 13]);
        std::snprintf(text, sizeof text, "Company %06ld", (r * 31) % kManufacturers);
        mainTable.put(image, "MANUFACT", text);
        std::snprintf(text, sizeof text, "Site %03ld", r % 50);
        mainTable.put(image, "LOCATION", text);
        std::snprintf(text, sizeof text, "%4ld", r % 100);
        mainTable.put(image, "QUANTITY", text);
        mainTable.put(image, "DISPOSED", "F");
    });
    DbfFiller manuf(base + "MANUFACT.DBF");
    manuf.write(kManufacturers, [&](long r, std::string& image) {
        std::snprintf(text, sizeof text, "Company %06ld", (r * 7) % kManufacturers);
        manuf.put(image, "COMPANY", text);
        std::snprintf(text, sizeof text, "City %ld", r % 500);
        manuf.put(image, "CITY", text);
        std::snprintf(text, sizeof text, "Contact %ld", r);
        manuf.put(image, "CONTACT", text);
    });
    DbfFiller location(base + "Location.dbf");
    location.write(50, [&](long r, std::string& image) {
        std::snprintf(text, sizeof text, "Site %03ld", r - 1);
        location.put(image, "NAME_ID", text);
        location.put(image, "WSNUM", "   1");
        location.put(image, "EMPLNUM", "   1");
    });
    reindex(base + "MAIN.DBF");
    reindex(base + "MANUFACT.DBF");
    reindex(base + "Location.dbf");
    QFile ready(folder + QStringLiteral("ready"));
    ready.open(QIODevice::WriteOnly);
    return folder;
}

// The program on one size of tables: working folder with LOOKUP.DBF, a
// settings file naming the data folder, the window and the data module.
struct Session {
    explicit Session(long items) {
        folder = makeTables(items);
        config = QDir::tempPath() + QStringLiteral("/qly-bench-ui-config");
        QDir().mkpath(config + QStringLiteral("/KVR"));
        qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
        QFile store(config + QStringLiteral("/KVR/QLY32.reg"));
        store.open(QIODevice::WriteOnly | QIODevice::Truncate);
        store.write(
            QStringLiteral(
                "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\KVR\\QLY32]\r\n\"PATH\"=\"%1\"\r\n"
                "\"DATEFORMAT\"=dword:00000000\r\n\"CENTURY\"=dword:00000001\r\n\"Hints\"=dword:"
                "00000001\r\n")
                .arg(folder)
                .toUtf8());
        store.close();
        QDir::setCurrent(folder);
    }

    // Creates the window and the data module (the tables open).
    void open() {
        window = std::make_unique<TMain>();
        dataModule = std::make_unique<TDataModule2>();
        window->connectDataModule(dataModule.get());
        dataModule->DataModule2Create();
    }

    void close() {
        window.reset();
        dataModule.reset();
    }

    DBGrid* grid() const { return window->findChild<DBGrid*>(QStringLiteral("DBGrid1")); }
    QComboBox* category() const {
        return window->findChild<QComboBox*>(QStringLiteral("ComboBox1"));
    }
    DBLookupCombo* manufacturer() const {
        return window->findChild<DBLookupCombo*>(QStringLiteral("DBLookupCombo1"));
    }

    // Shows the list view and paints the grid's visible rows.
    void showList() {
        if (!window->listViewShown())
            window->findChild<QToolButton*>(QStringLiteral("BarButton2"))->click();
        if (!window->isVisible())
            window->show();
        grid()->viewport()->repaint();
    }

    QString folder;
    QString config;
    std::unique_ptr<TMain> window;
    std::unique_ptr<TDataModule2> dataModule;
};

std::map<long, std::unique_ptr<Session>>& sessions() {
    static std::map<long, std::unique_ptr<Session>> all;
    return all;
}

Session& session(long items) {
    auto& slot = sessions()[items];
    if (!slot || !slot->window) {
        // One data module at a time: the engine environment is one per process.
        for (auto& [size, other] : sessions()) {
            if (size != items && other)
                other->close();
        }
        if (!slot)
            slot = std::make_unique<Session>(items);
        slot->open();
        slot->showList();
    }
    return *slot;
}

void report(benchmark::State& state, Session& s) {
    state.counters["rows"] = s.grid()->model()->rowCount();
    state.counters["read"] = static_cast<double>(s.grid()->gridModel()->recordsRead());
    state.counters["rss_MB"] = static_cast<double>(residentMegabytes());
}

// From the tables being open to the list view painted with its first rows.
void BM_ShowWindowWithFirstRows(benchmark::State& state) {
    Session& s = session(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        s.close();
        s.window = std::make_unique<TMain>();
        s.dataModule = std::make_unique<TDataModule2>();
        s.window->connectDataModule(s.dataModule.get());
        s.dataModule->DataModule2Create();
        state.ResumeTiming();
        s.showList();
        benchmark::DoNotOptimize(s.grid()->model()->data(s.grid()->model()->index(0, 0)));
    }
    report(state, s);
}

void BM_ChooseCategory(benchmark::State& state) {
    Session& s = session(state.range(0));
    int i = 0;
    for (auto _ : state) {
        s.category()->setCurrentIndex(i++ % 13);  // as chosen from the list
        emit s.category()->activated(s.category()->currentIndex());
        s.grid()->viewport()->repaint();
    }
    report(state, s);
}

void BM_TypeLetterInCategory(benchmark::State& state) {
    Session& s = session(state.range(0));
    QLineEdit* edit = s.category()->lineEdit();
    for (auto _ : state) {
        state.PauseTiming();
        s.category()->setEditText(QString());
        state.ResumeTiming();
        QTest::keyClick(edit, 'C');
        s.grid()->viewport()->repaint();
    }
    report(state, s);
}

void BM_ChooseManufacturer(benchmark::State& state) {
    Session& s = session(state.range(0));
    int i = 0;
    for (auto _ : state) {
        char text[32];
        std::snprintf(text, sizeof text, "Company %06d",
                      (i++ * 997) % static_cast<int>(kManufacturers));
        s.manufacturer()->setText(QString::fromLatin1(text));  // as chosen
        s.grid()->viewport()->repaint();
    }
    report(state, s);
}

void BM_CompleteManufacturer(benchmark::State& state) {
    Session& s = session(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(s.manufacturer()->findCompletion(QStringLiteral("Company 05")));
    report(state, s);
}

void BM_ScrollToLastRow(benchmark::State& state) {
    Session& s = session(state.range(0));
    s.category()->setEditText(QString());  // every item
    for (auto _ : state) {
        state.PauseTiming();
        s.grid()->scrollToTop();
        s.grid()->viewport()->repaint();
        state.ResumeTiming();
        s.grid()->scrollToBottom();
        s.grid()->viewport()->repaint();
        const int last = s.grid()->model()->rowCount() - 1;
        benchmark::DoNotOptimize(s.grid()->model()->data(s.grid()->model()->index(last, 0)));
    }
    report(state, s);
}

// One rescale of the whole window (every collected control of both views,
// fonts, the grid's rows) and the repaint after it, as when the window is
// maximised, restored or a drag of its border ends: the window goes from
// its start size to the screen's and back. Argument 2: 1 with the list
// view in front, 0 with the detail view.
void BM_RescaleWindow(benchmark::State& state) {
    Session& s = session(state.range(0));
    const bool list = state.range(1) != 0;
    if (s.window->listViewShown() != list)
        s.window->findChild<QToolButton*>(QStringLiteral("BarButton2"))->click();
    if (!QTest::qWaitForWindowActive(s.window.get()))
        std::fprintf(stderr, "window not active\n");
    const QSize sizes[] = {s.window->size(), s.window->screen()->availableGeometry().size()};
    TFormScaler* scaler = s.window->formScaler();
    int i = 0;
    int rescales = 0;
    QObject::connect(scaler, &TFormScaler::rescaled, [&rescales] { ++rescales; });
    for (auto _ : state) {
        s.window->resize(sizes[++i % 2]);
        s.window->repaint();
    }
    QObject::disconnect(scaler, &TFormScaler::rescaled, nullptr, nullptr);
    s.window->resize(sizes[0]);
    report(state, s);
    state.counters["controls"] = static_cast<double>(scaler->frames().size());
    state.counters["rescales"] = rescales;
}

}  // namespace

BENCHMARK(BM_ShowWindowWithFirstRows)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_ChooseCategory)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_TypeLetterInCategory)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_ChooseManufacturer)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_CompleteManufacturer)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_ScrollToLastRow)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_RescaleWindow)
    ->Args({100000, 1})
    ->Args({1000000, 1})
    ->Args({1000000, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    sessions().clear();
    benchmark::Shutdown();
    return 0;
}
