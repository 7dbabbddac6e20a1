// Indexed work on tables shaped like the items table: 830-byte records
// (NAME C(50), CODE C(10), QTY N(6), three C(254) texts and a C(1) flag),
// a structural tag on NAME, opened shared as the program opens them, with
// 100,000 and 1,000,000 records generated into a temporary folder.
//
// Targets: a walk in tag order of 1,000,000 records under 1 s; a random seek
// (keys drawn from the whole table) under 3 us on 1,000,000 keys; an open
// under 50 us and a close after reads under 20 us whatever the size;
// `qlyctl reindex` of 1,000,000 records under 2 s including its check
// (BM_QlyctlReindex runs the program when QLY_QLYCTL names it).
//
// QLY_BENCH_DATA names a folder that keeps the generated tables between runs
// (made once, reused while their record count is right); without it they go
// to a temporary folder removed at exit.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "common/DbfFiller.h"
#include "engine/xbase.h"

namespace fs = std::filesystem;

namespace {

std::string nameOf(long i) {
    const unsigned long scrambled = (static_cast<unsigned long>(i) * 2654435761ul) % 1000000007ul;
    return "Item " + std::to_string(scrambled) + " of the inventory";
}

class Items {
public:
    static Items& get() {
        static Items items;
        return items;
    }
    ~Items() {
        xb_CloseAll();
        if (m_keep)
            return;
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    const std::string& table(long n) {
        auto it = m_tables.find(n);
        if (it != m_tables.end())
            return it->second;
        const std::string path = (m_dir / ("ITEMS" + std::to_string(n) + ".DBF")).string();
        if (m_keep && reusable(path, n))
            return m_tables.emplace(n, path).first->second;
        std::error_code ec;
        fs::remove(path, ec);
        fs::remove(fs::path(path).replace_extension(".CDX"), ec);
        if (xb_Create(path,
                      {{"NAME", 'C', 50, 0},
                       {"CODE", 'C', 10, 0},
                       {"QTY", 'N', 6, 0},
                       {"TEXT1", 'C', 254, 0},
                       {"TEXT2", 'C', 254, 0},
                       {"TEXT3", 'C', 254, 0},
                       {"FLAG", 'C', 1, 0}},
                      {{"NAME", "NAME", "", false, false}}) != -1) {
            std::fprintf(stderr, "cannot create %s: %s\n", path.c_str(), xb_LastError().c_str());
            std::abort();
        }
        qlybench::DbfFiller filler(path);
        filler.write(n, [&](long i, std::string& rec) {
            filler.put(rec, "NAME", nameOf(i));
            filler.put(rec, "CODE", "C" + std::to_string(i % 7919));
            filler.put(rec, "TEXT1", "Bought for the office on floor " + std::to_string(i % 9));
        });
        if (xb_Use(path, "", kXbModeExclusive, kXbDriverFox) == 0 || xb_RecSize() != 830 ||
            xb_Reindex() != -1) {
            std::fprintf(stderr, "cannot index %s: %s\n", path.c_str(), xb_LastError().c_str());
            std::abort();
        }
        xb_Close();
        return m_tables.emplace(n, path).first->second;
    }

private:
    static bool reusable(const std::string& path, long n) {
        if (xb_Use(path, "", kXbModeShared, kXbDriverFox) == 0)
            return false;
        const bool ok = xb_RecCount() == n && xb_RecSize() == 830;
        xb_Close();
        return ok;
    }
    Items() {
        // The engine is made first, so that it outlives this object at exit.
        xb_CloseAll();
        if (const char* keep = std::getenv("QLY_BENCH_DATA"); keep && *keep) {
            m_dir = keep;
            m_keep = true;
            std::error_code ec;
            fs::create_directories(m_dir, ec);
            return;
        }
        std::string tmpl = (fs::temp_directory_path() / "qly-items-bench-XXXXXX").string();
        if (!::mkdtemp(tmpl.data()))
            std::abort();
        m_dir = tmpl;
    }
    fs::path m_dir;
    bool m_keep = false;
    std::map<long, std::string> m_tables;
};

bool openShared(benchmark::State& state, long n, bool ordered) {
    if (xb_Use(Items::get().table(n), "", kXbModeShared, kXbDriverFox) == 0 ||
        (ordered && xb_SetOrder(1) != -1)) {
        state.SkipWithError(xb_LastError().c_str());
        return false;
    }
    return true;
}

void BM_ItemsTagWalk(benchmark::State& state) {
    const long n = state.range(0);
    if (!openShared(state, n, true))
        return;
    long seen = 0;
    for (auto _ : state) {
        seen = 0;
        for (xb_GoTop(); xb_Eof() == 0; xb_Skip(1))
            ++seen;
    }
    if (seen != n)
        state.SkipWithError("the walk missed records");
    state.counters["records"] = static_cast<double>(seen);
    xb_CloseAll();
}
BENCHMARK(BM_ItemsTagWalk)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_ItemsRandomSeek(benchmark::State& state) {
    const long n = state.range(0);
    if (!openShared(state, n, true))
        return;
    // Keys of the whole table in random order, so the cache cannot hold them all.
    std::vector<long> order(static_cast<size_t>(n));
    for (long i = 0; i < n; ++i)
        order[static_cast<size_t>(i)] = i + 1;
    std::shuffle(order.begin(), order.end(), std::mt19937(7));
    std::vector<std::string> keys;
    keys.reserve(order.size());
    for (long i : order)
        keys.push_back(nameOf(i));
    size_t k = 0;
    long found = 0;
    for (auto _ : state) {
        found += xb_Seek(keys[k]) == -1;
        if (++k == keys.size())
            k = 0;
    }
    state.counters["found"] = static_cast<double>(found) / static_cast<double>(state.iterations());
    xb_CloseAll();
}
BENCHMARK(BM_ItemsRandomSeek)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

// Open shared (structural index included) as the program does.
void BM_ItemsOpen(benchmark::State& state) {
    const std::string& path = Items::get().table(state.range(0));
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        const int area = xb_Use(path, "", kXbModeShared, kXbDriverFox);
        auto t1 = std::chrono::steady_clock::now();
        if (area == 0)
            state.SkipWithError(xb_LastError().c_str());
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
        xb_Close();
    }
}
BENCHMARK(BM_ItemsOpen)->Arg(100000)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Close after a few reads in tag order (nothing was written).
void BM_ItemsCloseAfterReads(benchmark::State& state) {
    const std::string& path = Items::get().table(state.range(0));
    for (auto _ : state) {
        if (xb_Use(path, "", kXbModeShared, kXbDriverFox) == 0 || xb_SetOrder(1) != -1) {
            state.SkipWithError(xb_LastError().c_str());
            break;
        }
        xb_GoTop();
        for (int i = 0; i < 20; ++i)
            xb_Skip(1);
        auto t0 = std::chrono::steady_clock::now();
        xb_Close();
        auto t1 = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    }
}
BENCHMARK(BM_ItemsCloseAfterReads)
    ->Arg(100000)
    ->Arg(1000000)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// `qlyctl reindex TABLE` end to end: rebuild, flush and the check after it.
void BM_QlyctlReindex(benchmark::State& state) {
    const char* qlyctl = std::getenv("QLY_QLYCTL");
    if (!qlyctl || !*qlyctl) {
        state.SkipWithError("set QLY_QLYCTL to the qlyctl program");
        return;
    }
    const std::string& path = Items::get().table(state.range(0));
    const std::string command = std::string(qlyctl) + " reindex '" + path + "' > /dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("qlyctl reindex failed");
    }
}
BENCHMARK(BM_QlyctlReindex)
    ->Arg(100000)
    ->Arg(1000000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
