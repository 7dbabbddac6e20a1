// Damaged compound indexes: every kind of damage gives an error on open or
// on the operation that meets it, never a crash, a hang or a wrong record.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <random>

#include "CdxTestUtil.h"
#include "engine/cdx/Bytes.h"
#include "engine/cdx/Cursor.h"
#include "engine/cdx/IndexFile.h"
#include "engine/cdx/KeyCodec.h"

using namespace cdx;
using namespace cdxtest;

namespace {

constexpr uint32_t kKeys = 3000;
constexpr uint32_t kTagHeader = 0x600;

std::string keyOf(uint32_t r) {
    char text[16];
    std::snprintf(text, sizeof text, "K%05u", r * 3);
    return characterKey(text, 10);
}

// A tag of three levels: root, interior nodes, leaves.
std::vector<uint8_t> healthyFile() {
    auto* io = new MemoryPageIo();
    std::unique_ptr<IndexFile> file;
    TagSpec tagSpec;
    tagSpec.name = "K";
    tagSpec.keyExpression = "K";
    tagSpec.keyLength = 10;
    EXPECT_TRUE(IndexFile::create(std::unique_ptr<PageIo>(io), {tagSpec}, true, file).isOk());
    for (uint32_t r = 1; r <= kKeys; ++r)
        EXPECT_TRUE(file->tag(0).insert(bytes(keyOf(r)), r).isOk());
    EXPECT_TRUE(file->flush().isOk());
    std::vector<uint8_t> b = io->bytes();
    return b;
}

struct Layout {
    uint32_t root;
    uint32_t firstLeaf;
    uint32_t secondLeaf;
    uint32_t directoryLeaf = 0x400;
};

Layout layoutOf(const std::vector<uint8_t>& b) {
    Layout l{};
    l.root = getLe32(&b[kTagHeader]);
    uint32_t n = l.root;
    while (!(getLe16(&b[n]) & kAttrLeaf))
        n = getBe32(&b[n + 12 + 10 + 4]);
    l.firstLeaf = n;
    l.secondLeaf = getLe32(&b[n + 8]);
    return l;
}

// Runs every operation; true when one of them reported an error. Fails the
// test when a seek that reports success lands on a wrong record.
bool anyOperationFails(std::vector<uint8_t> bytesOfFile, bool checkResults) {
    std::unique_ptr<IndexFile> file;
    if (!IndexFile::open(std::make_unique<MemoryPageIo>(std::move(bytesOfFile)), false, file)
             .isOk())
        return true;
    if (file->tagCount() != 1)
        return true;
    Tag& tag = file->tag(0);
    bool failed = false;
    std::vector<std::pair<std::string, uint32_t>> all;
    if (!walk(tag, all).isOk())
        failed = true;
    Cursor cursor(tag);
    for (uint32_t r = 1; r <= kKeys; r += 7) {
        bool found = false;
        const std::string k = keyOf(r);
        if (!cursor.seek(bytes(k), 10, &found).isOk()) {
            failed = true;
            continue;
        }
        if (checkResults) {
            EXPECT_TRUE(found) << "key of record " << r << " silently missed";
            if (found) {
                EXPECT_EQ(cursor.recNo(), r) << "seek returned a wrong record";
            }
        }
        // Soft seek between keys lands on the next one.
        const std::string between = k.substr(0, 6) + "1";
        if (!cursor.seek(bytes(between), 7, &found).isOk()) {
            failed = true;
            continue;
        }
        if (checkResults && r < kKeys) {
            EXPECT_FALSE(found);
            EXPECT_TRUE(cursor.valid() && cursor.recNo() == r + 1)
                << "soft seek after record " << r << " landed wrong";
        }
    }
    for (uint32_t r = 5; r <= kKeys; r += 97) {
        if (!tag.remove(bytes(keyOf(r)), r).isOk())
            failed = true;
        if (!tag.insert(bytes(keyOf(r)), r).isOk())
            failed = true;
    }
    if (!file->check().isOk())
        failed = true;
    return failed;
}

}  // namespace

TEST(CdxDamage, HealthyFileWorks) {
    const std::vector<uint8_t> b = healthyFile();
    const Layout l = layoutOf(b);
    ASSERT_FALSE(getLe16(&b[l.root]) & kAttrLeaf);
    ASSERT_FALSE(getLe16(&b[getBe32(&b[l.root + 12 + 14])]) & kAttrLeaf) << "want three levels";
    EXPECT_FALSE(anyOperationFails(b, true));
}

TEST(CdxDamage, EachDamageGivesAnErrorAndNeverAWrongRecord) {
    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&, const Layout&)> damage;
    };
    const Case cases[] = {
        {"root outside the file",
         [](auto& b, auto&) { putLe32(&b[kTagHeader], static_cast<uint32_t>(b.size() + 512)); }},
        {"root off a page boundary", [](auto& b, auto& l) { putLe32(&b[kTagHeader], l.root + 1); }},
        {"root on the compound header", [](auto& b, auto&) { putLe32(&b[kTagHeader], 0); }},
        {"root on a tag header", [](auto& b, auto&) { putLe32(&b[kTagHeader], kTagHeader); }},
        {"child outside the file",
         [](auto& b, auto& l) { putBe32(&b[l.root + 12 + 14], 0x7FFFFE00); }},
        {"child loops to the root",
         [](auto& b, auto& l) { putBe32(&b[l.root + 12 + 14], l.root); }},
        {"child is a leaf of another branch",
         [](auto& b, auto& l) { putBe32(&b[l.root + 12 + 14], l.secondLeaf); }},
        {"interior key count too large", [](auto& b, auto& l) { putLe16(&b[l.root + 2], 200); }},
        {"leaf key count too large", [](auto& b, auto& l) { putLe16(&b[l.firstLeaf + 2], 400); }},
        {"leaf entry widths impossible", [](auto& b, auto& l) { b[l.firstLeaf + 23] = 0; }},
        {"leaf entry widths overlong", [](auto& b, auto& l) { b[l.firstLeaf + 20] = 40; }},
        {"leaf keys stored in full overflow",
         [](auto& b, auto& l) { b[l.firstLeaf + 18] = b[l.firstLeaf + 19] = 0; }},
        {"leaf keys out of order", [](auto& b, auto& l) { b[l.firstLeaf + 511] = 0xFF; }},
        {"leaf sibling loops to itself",
         [](auto& b, auto& l) { putLe32(&b[l.firstLeaf + 8], l.firstLeaf); }},
        {"leaf sibling points backwards",
         [](auto& b, auto& l) { putLe32(&b[l.secondLeaf + 8], l.firstLeaf); }},
        {"separator too small", [](auto& b, auto& l) { std::memset(&b[l.root + 12], 0, 10); }},
        {"separator too large", [](auto& b, auto& l) { std::memset(&b[l.root + 12], 0xFF, 10); }},
        {"key length zero", [](auto& b, auto&) { putLe16(&b[kTagHeader + 12], 0); }},
        {"key length beyond 240", [](auto& b, auto&) { putLe16(&b[kTagHeader + 12], 300); }},
        {"key expression beyond the pool",
         [](auto& b, auto&) { putLe16(&b[kTagHeader + 510], 600); }},
        {"FOR expression beyond the pool",
         [](auto& b, auto&) {
             putLe16(&b[kTagHeader + 504], 510);
             putLe16(&b[kTagHeader + 506], 10);
         }},
        {"directory names a header outside the file",
         [](auto& b, auto& l) { b[l.directoryLeaf + 25] = 0xFE; }},
        {"directory root outside the file", [](auto& b, auto&) { putLe32(&b[0], 0x00FFFE00); }},
        {"not a compact index", [](auto& b, auto&) { b[14] = 0; }},
        {"file cut short", [](auto& b, auto&) { b.resize(700); }},
        {"file cut inside the tree", [](auto& b, auto& l) { b.resize(l.firstLeaf + 100); }},
    };
    const std::vector<uint8_t> healthy = healthyFile();
    const Layout layout = layoutOf(healthy);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> b = healthy;
        c.damage(b, layout);
        // Damage that leaves the keys readable must still never give a wrong record.
        EXPECT_TRUE(anyOperationFails(b, false)) << "damage went unnoticed";
        if (std::string(c.what).find("separator") != std::string::npos)
            anyOperationFails(b, true);
    }
}

TEST(CdxDamage, ErrorsNameTheFileAndTheProblem) {
    std::vector<uint8_t> b = healthyFile();
    putLe32(&b[kTagHeader], static_cast<uint32_t>(b.size() + 512));
    std::unique_ptr<IndexFile> file;
    Status s = IndexFile::open(std::make_unique<MemoryPageIo>(b, "/data/MAIN.cdx"), true, file);
    EXPECT_EQ(s.code(), Code::Corrupt);
    EXPECT_NE(s.message().find("/data/MAIN.cdx"), std::string::npos) << s.message();
    EXPECT_NE(s.message().find("outside the file"), std::string::npos) << s.message();
}

TEST(CdxDamage, RandomlyDamagedFilesNeverCrashOrHang) {
    const std::vector<uint8_t> healthy = healthyFile();
    std::mt19937 rng(2024);
    for (int round = 0; round < 300; ++round) {
        std::vector<uint8_t> b = healthy;
        const int flips = 1 + static_cast<int>(rng() % 8);
        for (int f = 0; f < flips; ++f) {
            const size_t at = rng() % b.size();
            b[at] = static_cast<uint8_t>(rng() % 3 == 0 ? 0xFF : rng());
        }
        anyOperationFails(std::move(b), false);
    }
}
