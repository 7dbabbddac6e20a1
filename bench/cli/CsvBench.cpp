// qlyctl export and import of the items table with 100,000 records (830-byte
// records, every field filled, a description memo on every record). Each run
// is one whole qlyctl process, as a user runs it.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

const fs::path& folder() {
    static const fs::path dir = [] {
        std::string tmpl = (fs::temp_directory_path() / "qly-csv-bench-XXXXXX").string();
        if (::mkdtemp(tmpl.data()) == nullptr)
            std::abort();
        return fs::path(tmpl);
    }();
    return dir;
}

bool run(const std::string& args) {
    const std::string line = "'" QLYCTL_PATH "' " + args + " >/dev/null 2>&1";
    return std::system(line.c_str()) == 0;
}

// An items file of n rows in the form export writes.
void writeItems(const fs::path& path, int n) {
    std::ofstream out(path, std::ios::binary);
    out << "NAME,CATAGORY,SERIALNUM,PARTNUM,MODELNUM,MANUFACT,LOCATION,QUANTITY,SERVCONTR,"
           "SERVCONTAC,SERVPNUM,SERVCOMPAN,PURCHPRICE,PURCHDATE,PURCHPLACE,DISPOSED,DISPDATE,"
           "DISPMETHOD,UNIT_ID,DESCRIPT\r\n";
    static const char* kCategories[] = {"Chair", "Computers", "Copiers", "Desk", "Software"};
    for (int i = 0; i < n; ++i) {
        char row[1024];
        std::snprintf(row, sizeof row,
                      "Item %d,%s,SN%08d,PN-%d,M%d,Maker %d,Location %d,%d,C-%d,Contact %d,"
                      "555-%04d,Servco %d,%d.%02d,%04d-%02d-%02d,Shop %d,%s,,,U%06d,"
                      "\"Item %d, bought for the office\r\nsecond line\"\r\n",
                      i, kCategories[i % 5], i * 7919 % 100000000, i, i % 977, i % 113, i % 37,
                      i % 9999, i, i, i % 10000, i % 50, i % 100000, i % 100, 1990 + i % 30,
                      1 + i % 12, 1 + i % 28, i % 41, i % 3 ? "false" : "true", i, i);
        out << row;
    }
}

constexpr int kRows = 100000;

// A fresh installation's items table for each import.
void freshTables(const fs::path& data) {
    std::error_code ec;
    fs::remove_all(data, ec);
    if (!run("init '" + data.string() + "'"))
        std::abort();
}

void BM_ImportItems(benchmark::State& state) {
    const fs::path csv = folder() / "items.csv";
    if (!fs::exists(csv))
        writeItems(csv, kRows);
    for (auto _ : state) {
        state.PauseTiming();
        freshTables(folder() / "import");
        state.ResumeTiming();
        if (!run("import '" + (folder() / "import/MAIN.DBF").string() + "' '" + csv.string() + "'"))
            state.SkipWithError("import failed");
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_ImportItems)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_ExportItems(benchmark::State& state) {
    const fs::path csv = folder() / "items.csv";
    const fs::path data = folder() / "export";
    if (!fs::exists(data / "MAIN.DBF")) {
        if (!fs::exists(csv))
            writeItems(csv, kRows);
        freshTables(data);
        if (!run("import '" + (data / "MAIN.DBF").string() + "' '" + csv.string() + "'"))
            std::abort();
    }
    for (auto _ : state) {
        if (!run("export '" + (data / "MAIN.DBF").string() + "' '" +
                 (folder() / "out.csv").string() + "'"))
            state.SkipWithError("export failed");
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_ExportItems)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(folder(), ec);
    return 0;
}
