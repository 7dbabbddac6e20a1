// Report benchmarks (offscreen): the items report over generated tables of
// 100,000 and 1,000,000 items (830-byte records), its table opened shared as
// the reports dialog opens it.
//
//   BM_PreviewFirstPage  from the prompt's OK to the preview showing page 1
//   BM_PreviewLastPage   from page 1 on the screen to the last page shown
//   BM_WritePdf          the whole report into a PDF file
//   BM_LayOutAllPages    finding where every page starts (no painting)
//   BM_PaintOnePage      painting one page at screen size
//   BM_PaintAllPages     every page painted on a device that keeps nothing:
//                        reading the records and laying out their text, the
//                        part of BM_WritePdf that is not the PDF writer's
//
// Counters: pages, peak resident memory during the benchmark (peak_MB, the
// process's high-water mark reset before it) and the PDF's size. The tables
// are made once per size in the temporary folder (qly-bench-reports-N) and
// kept for later runs.

#include "common/DbfFiller.h"
#include "data/XBaseEnv.h"
#include "data/XbTable.h"
#include "engine/Field.h"
#include "engine/IndexSet.h"
#include "engine/Settings.h"
#include "engine/xbase.h"
#include "reports/BandReport.h"
#include "reports/ListReports.h"
#include "reports/PageOutput.h"
#include "reports/PreviewWindow.h"
#include "reports/ReportRun.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QTime>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using qly::engine::Field;
using qly::engine::TagDef;

const char* const kCategories[] = {
    "Bookshelves",     "Buildings", "Chair",       "Computers",
    "Copiers",         "Desk",      "Fax Machine", "Misc Office Supplies",
    "Misc. Furniture", "Other",     "Software",    "Typewritter",
    "Vehicles"};

Field character(const char* name, int width) {
    return Field{name, 'C', width, 0, 0};
}
Field numeric(const char* name, int width, int decimals = 0) {
    return Field{name, 'N', width, decimals, 0};
}
Field date(const char* name) {
    return Field{name, 'D', 8, 0, 0};
}

// The process's high-water mark of resident memory, reset first when asked.
void resetPeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}
double peakMegabytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    }
    return 0;
}

// Makes (once) an items table of that size; returns its folder, with "/".
QString makeItems(long items) {
    const QString folder = QDir::tempPath() + QStringLiteral("/qly-bench-reports-%1/").arg(items);
    if (QFile::exists(folder + QStringLiteral("ready")))
        return folder;
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    const std::string path = (folder + QStringLiteral("MAIN.DBF")).toStdString();
    const std::vector<Field> fields = {character("NAME", 40),
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
                                       numeric("PURCHPRICE", 12, 2),
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
                                       Field{"DESCRIPT", 'M', 10, 0, 0}};
    std::vector<TagDef> tags(1);
    tags[0].name = "NAME";
    tags[0].keyExpression = "NAME";
    qly::engine::Settings settings;
    std::string error;
    if (!qly::engine::createTable(path, fields, tags, settings, error)) {
        std::fprintf(stderr, "cannot create %s: %s\n", path.c_str(), error.c_str());
        return folder;
    }
    qlybench::DbfFiller table(path);
    char text[64];
    table.write(items, [&](long r, std::string& image) {
        std::snprintf(text, sizeof text, "Item %07ld of a realistic length", (r * 7919) % items);
        table.put(image, "NAME", text);
        table.put(image, "CATAGORY", kCategories[r % 13]);
        std::snprintf(text, sizeof text, "Company %06ld", (r * 31) % 100000);
        table.put(image, "MANUFACT", text);
        std::snprintf(text, sizeof text, "Site %03ld", r % 50);
        table.put(image, "LOCATION", text);
        std::snprintf(text, sizeof text, "U%07ld", r);
        table.put(image, "UNIT_ID", text);
        std::snprintf(text, sizeof text, "SN-%09ld", r * 13);
        table.put(image, "SERIALNUM", text);
        std::snprintf(text, sizeof text, "%4ld", r % 100);
        table.put(image, "QUANTITY", text);
        table.put(image, "DISPOSED", "F");
    });
    if (xb_Use(path, "BENCH", kXbModeExclusive, kXbDriverFox) != 0) {
        xb_Reindex();
        xb_Close();
    }
    QFile ready(folder + QStringLiteral("ready"));
    ready.open(QIODevice::WriteOnly);
    return folder;
}

// The items report on its own table, as the reports dialog holds them.
struct Session {
    explicit Session(long items) : folder(makeItems(items)) {
        table.setDatabaseName(folder);
        table.setTableName(QStringLiteral("MAIN.DBF"));
        table.open();
        report.reset(qly::reports::makeItemsReport(table.ownDataSource(), nullptr));
        report->label(QStringLiteral("TimeLabel2"))
            ->setText(qly::reports::longTimeText(QTime::currentTime()));
    }
    QString folder;
    TXbTable table;
    std::unique_ptr<TBandReport> report;
};

TXBaseEnv& environment() {
    static TXBaseEnv env;
    static bool set = false;
    if (!set) {
        env.setCentury(true);
        env.setSoftSeek(true);
        env.setDeleted(true);
        set = true;
    }
    return env;
}

Session& session(long items) {
    environment();
    static std::map<long, std::unique_ptr<Session>> sessions;
    auto& slot = sessions[items];
    if (!slot)
        slot = std::make_unique<Session>(items);
    return *slot;
}

// Lets the event loop run until the preview has painted that many pages.
void waitForPages(TReportPreview* preview, int painted) {
    QElapsedTimer timer;
    timer.start();
    while (preview->pagesPainted() < painted && timer.elapsed() < 10000)
        QCoreApplication::processEvents();
}

// A preview as the prompt's OK opens it, shown with its first page painted.
TReportPreview* openPreview(Session& s) {
    auto run = std::make_unique<TReportRun>(*s.report);
    layOutFirstPage(*run, TPageSelection());
    auto* preview = new TReportPreview(std::move(run), TPageSelection());
    preview->show();
    waitForPages(preview, 1);
    return preview;
}

void BM_PreviewFirstPage(benchmark::State& state) {
    Session& s = session(state.range(0));
    resetPeakMemory();
    int painted = 0;
    for (auto _ : state) {
        TReportPreview* preview = openPreview(s);
        state.PauseTiming();
        painted = preview->pagesPainted();
        delete preview;
        state.ResumeTiming();
    }
    state.counters["painted"] = painted;
    state.counters["peak_MB"] = peakMegabytes();
}

void BM_PreviewLastPage(benchmark::State& state) {
    Session& s = session(state.range(0));
    resetPeakMemory();
    int pages = 0;
    for (auto _ : state) {
        state.PauseTiming();
        TReportPreview* preview = openPreview(s);
        state.ResumeTiming();
        preview->lastPage();
        waitForPages(preview, 2);
        state.PauseTiming();
        pages = preview->currentPage();
        delete preview;
        state.ResumeTiming();
    }
    state.counters["pages"] = pages;
    state.counters["peak_MB"] = peakMegabytes();
}

void BM_WritePdf(benchmark::State& state) {
    Session& s = session(state.range(0));
    const QString path = s.folder + QStringLiteral("report.pdf");
    resetPeakMemory();
    int pages = 0;
    for (auto _ : state) {
        TReportRun run(*s.report);
        if (writePdf(run, path, TPageSelection()) != TOutputResult::Done)
            state.SkipWithError("not written");
        pages = run.pagesLaidOut();
    }
    state.counters["pages"] = pages;
    state.counters["peak_MB"] = peakMegabytes();
    state.counters["pdf_MB"] = QFileInfo(path).size() / (1024.0 * 1024.0);
}

void BM_LayOutAllPages(benchmark::State& state) {
    Session& s = session(state.range(0));
    int pages = 0;
    for (auto _ : state) {
        TReportRun run(*s.report);
        pages = run.pageCount();
    }
    state.counters["pages"] = pages;
}

// A letter page at 1200 dots per inch, as the PDF writer's, whose engine
// throws everything away.
class NullDevice : public QPaintDevice {
public:
    QPaintEngine* paintEngine() const override { return &m_engine; }

protected:
    int metric(PaintDeviceMetric metric) const override {
        switch (metric) {
            case PdmWidth:
                return 10200;
            case PdmHeight:
                return 13200;
            case PdmDpiX:
            case PdmDpiY:
            case PdmPhysicalDpiX:
            case PdmPhysicalDpiY:
                return 1200;
            case PdmDepth:
                return 32;
            case PdmDevicePixelRatio:
                return 1;
            case PdmDevicePixelRatioScaled:
                return static_cast<int>(devicePixelRatioFScale());
            default:
                return 1;
        }
    }

private:
    class Engine : public QPaintEngine {
    public:
        Engine() : QPaintEngine(AllFeatures) {}
        bool begin(QPaintDevice*) override { return true; }
        bool end() override { return true; }
        Type type() const override { return User; }
        void updateState(const QPaintEngineState&) override {}
        void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
        void drawPath(const QPainterPath&) override {}
        void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
        void drawTextItem(const QPointF&, const QTextItem& item) override {
            benchmark::DoNotOptimize(item.text());
        }
    };
    mutable Engine m_engine;
};

void BM_PaintAllPages(benchmark::State& state) {
    Session& s = session(state.range(0));
    for (auto _ : state) {
        TReportRun run(*s.report);
        NullDevice device;
        QPainter painter(&device);
        TReportRun::beginUnits(painter, device);
        for (int page = 0; run.hasPage(page); ++page)
            run.paintPage(painter, page);
    }
}

void BM_PaintOnePage(benchmark::State& state) {
    Session& s = session(state.range(0));
    TReportRun run(*s.report);
    run.hasPage(0);
    QImage image(816, 1056, QImage::Format_RGB32);
    for (auto _ : state) {
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.scale(816 / 1020.0, 1056 / 1320.0);
        run.paintPage(painter, 0);
    }
}

}  // namespace

BENCHMARK(BM_PreviewFirstPage)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK(BM_PreviewLastPage)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_WritePdf)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_LayOutAllPages)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_PaintAllPages)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PaintOnePage)->Arg(100000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
