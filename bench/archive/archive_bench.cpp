// Backup and restore throughput on 100 MB of generated table files, against
// one zlib stream over the same bytes (what gzip does). Compare with
//   cat FOLDER/* | gzip -1 > x.gz ; gzip -dc x.gz > /dev/null
// on the folder the program prints at start (QLY_BENCH_KEEP=1 keeps it).

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "archive/Archiver.h"

namespace {

namespace fs = std::filesystem;
using qly::archive::TArchiver;

constexpr std::size_t kMegabyte = 1024 * 1024;

const char* kWords[] = {"Desk",      "Chair",      "Copier",     "Fax Machine", "Bookshelves",
                        "Computers", "Building A", "Building B", "Acme Office", "Contoso",
                        "Service",   "Contract",   "Warranty",   "Printer",     "Monitor",
                        "Keyboard",  "Dell",       "HP",         "Canon",       "Xerox",
                        "Room 101",  "Floor 3",    "Accounting", "Sales"};

// A FoxPro-like table: fixed records of space-padded text, numbers and dates.
void writeDbf(const std::string& path, std::size_t bytes, std::uint32_t seed) {
    std::mt19937 gen(seed);
    auto rng = [&gen] { return static_cast<unsigned>(gen()); };
    std::ofstream out(path, std::ios::binary);
    std::string header(1024, '\0');
    header[0] = static_cast<char>(0xF5);
    out << header;
    std::string record;
    std::size_t written = header.size();
    while (written < bytes) {
        record.assign(1, ' ');
        for (int field = 0; field < 12; ++field) {
            std::string value = kWords[rng() % 24];
            if (rng() % 2)
                value += std::string(" ") + kWords[rng() % 24];
            value.resize(30, ' ');
            record += value;
        }
        char numbers[64];
        std::snprintf(numbers, sizeof numbers, "%6u%12.2f%04u%02u%02u%8u", rng() % 1000,
                      (rng() % 1000000) / 100.0, 1990 + rng() % 30, 1 + rng() % 12, 1 + rng() % 28,
                      rng() % 100000);
        record += numbers;
        out << record;
        written += record.size();
    }
}

// A memo file: 64-byte blocks holding rich text of varying length.
void writeFpt(const std::string& path, std::size_t bytes, std::uint32_t seed) {
    std::mt19937 gen(seed);
    auto rng = [&gen] { return static_cast<unsigned>(gen()); };
    std::ofstream out(path, std::ios::binary);
    std::string block(512, '\0');
    out << block;
    std::size_t written = block.size();
    while (written < bytes) {
        std::string memo = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 ";
        const int words = 20 + static_cast<int>(rng() % 200);
        for (int i = 0; i < words; ++i) {
            memo += kWords[rng() % 24];
            memo += (rng() % 10 == 0) ? "\\par " : " ";
            if (rng() % 25 == 0) {
                memo += std::to_string(rng());  // serial numbers
            }
        }
        memo += "}";
        std::string entry(8, '\0');
        entry[3] = 1;
        entry[7] = static_cast<char>(memo.size() & 0xFF);
        entry += memo;
        entry.resize((entry.size() + 63) / 64 * 64, '\0');
        out << entry;
        written += entry.size();
    }
}

struct Data {
    std::string folder;
    std::vector<std::string> files;
    std::size_t bytes = 0;

    Data() {
        const char* tmp = std::getenv("TMPDIR");
        std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/qlybenchXXXXXX";
        folder = ::mkdtemp(tmpl.data());
        fs::create_directories(folder + "/data");
        writeDbf(folder + "/data/MAIN.DBF", 45 * kMegabyte, 1);
        writeFpt(folder + "/data/MAIN.FPT", 30 * kMegabyte, 2);
        writeDbf(folder + "/data/MANUFACT.DBF", 15 * kMegabyte, 3);
        writeFpt(folder + "/data/Location.fpt", 10 * kMegabyte, 4);
        for (const auto& e : fs::directory_iterator(folder + "/data")) {
            files.push_back(e.path().string());
            bytes += static_cast<std::size_t>(e.file_size());
        }
        std::fprintf(stderr, "benchmark data: %zu bytes in %s/data\n", bytes, folder.c_str());
    }
    ~Data() {
        if (std::getenv("QLY_BENCH_KEEP") == nullptr) {
            std::error_code ec;
            fs::remove_all(folder, ec);
        }
    }
};

Data& data() {
    static Data d;
    return d;
}

std::vector<char> readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void addMemory(benchmark::State& state) {
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    state.counters["maxrss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_BackupFastest(benchmark::State& state) {
    Data& d = data();
    const std::string archive = d.folder + "/bench.bkp";
    TArchiver a;
    a.setCompressionLevel(static_cast<qly::archive::TCompressionLevel>(state.range(0)));
    for (auto _ : state) {
        if (!a.Backup({d.folder + "/data/*.*"}, archive)) {
            state.SkipWithError("backup failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * d.bytes));
    state.counters["ratio_pct"] = a.CompressionRate();
    addMemory(state);
}

void BM_Restore(benchmark::State& state) {
    Data& d = data();
    const std::string archive = d.folder + "/restore.bkp";
    TArchiver a;
    if (!a.Backup({d.folder + "/data/*.*"}, archive)) {
        state.SkipWithError("backup failed");
        return;
    }
    for (auto _ : state) {
        if (!a.Restore(archive, d.folder + "/out")) {
            state.SkipWithError("restore failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * d.bytes));
    addMemory(state);
}

// One zlib stream over all the bytes, in memory: the cost of the format's
// fresh stream per 16 KiB block shows against this.
void BM_OneStreamDeflateLevel1(benchmark::State& state) {
    Data& d = data();
    std::vector<char> all;
    for (const auto& f : d.files) {
        const auto bytes = readAll(f);
        all.insert(all.end(), bytes.begin(), bytes.end());
    }
    std::vector<unsigned char> out(1 << 20);
    std::size_t packed = 0;
    for (auto _ : state) {
        z_stream z{};
        deflateInit(&z, 1);
        z.next_in = reinterpret_cast<Bytef*>(all.data());
        z.avail_in = static_cast<uInt>(all.size());
        packed = 0;
        int rc = Z_OK;
        while (rc != Z_STREAM_END) {
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            rc = deflate(&z, Z_FINISH);
            packed += out.size() - z.avail_out;
        }
        deflateEnd(&z);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * all.size()));
    state.counters["ratio_pct"] = 100.0 - 100.0 * static_cast<double>(packed) / all.size();
}

// Restoring many small members into one folder, as a folder of notes or
// pictures gives: each new file must not cost a look through the folder.
void BM_RestoreManySmallMembers(benchmark::State& state) {
    const auto count = static_cast<int>(state.range(0));
    std::string tmpl = (fs::temp_directory_path() / "qlymanyXXXXXX").string();
    const std::string base = ::mkdtemp(tmpl.data());
    const std::string folder = base + "/many";
    const std::string archive = base + "/many.bkp";
    std::vector<char> bytes;
    auto int32 = [&bytes](std::int32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * i)) & 0xFF));
    };
    auto text = [&bytes, &int32](const std::string& s) {
        int32(static_cast<std::int32_t>(s.size()));
        bytes.insert(bytes.end(), s.begin(), s.end());
    };
    const std::string record(200, 'r');
    text("many");
    int32(count * 200);
    int32(count);
    for (int i = 0; i < count; ++i) {
        text("c:\\data\\notes\\N" + std::to_string(i) + ".TXT");
        int32(0x5A2C6000);
        bytes.insert(bytes.end(), {'E', 'C', '2', '\0'});
        int32(-200);
        bytes.insert(bytes.end(), record.begin(), record.end());
        int32(0);
    }
    int32(0);
    std::ofstream(archive, std::ios::binary).write(bytes.data(), static_cast<long>(bytes.size()));
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(folder);
        fs::create_directories(folder);
        state.ResumeTiming();
        TArchiver a;
        if (!a.Restore(archive, folder) || a.ProcessedFiles() != count) {
            state.SkipWithError("restore failed");
            break;
        }
    }
    fs::remove_all(base);
    state.counters["members"] = count;
}

BENCHMARK(BM_RestoreManySmallMembers)
    ->Arg(4000)
    ->Arg(32000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_BackupFastest)
    ->Arg(qly::archive::clFastest)
    ->Arg(qly::archive::clDefault)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_Restore)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_OneStreamDeflateLevel1)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
