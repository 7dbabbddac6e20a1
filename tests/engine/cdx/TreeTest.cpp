// Insert, remove, seek and bulk build against a model, with trees of
// several levels, small node caches and reopened files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <map>
#include <random>
#include <set>

#include "CdxTestUtil.h"
#include "engine/cdx/Bytes.h"
#include "engine/cdx/Cursor.h"
#include "engine/cdx/IndexFile.h"
#include "engine/cdx/KeyCodec.h"

using namespace cdx;
using namespace cdxtest;

namespace {

using Entry = std::pair<std::string, uint32_t>;
using Model = std::set<Entry>;

TagSpec tagSpec(const char* name, uint32_t keyLength, KeyType type = KeyType::Character,
                bool unique = false, bool descending = false) {
    TagSpec s;
    s.name = name;
    s.keyExpression = name;
    s.keyLength = keyLength;
    s.keyType = type;
    s.unique = unique;
    s.descending = descending;
    return s;
}

// Keys with shared prefixes, trailing blanks and repeats, so that the leaf
// compression and equal keys get exercised.
std::string randomKey(std::mt19937& rng, uint32_t length) {
    static const char alphabet[] = "AABBCDEFGHIJKLMNOPQRSTUVWXYZ abz019";
    std::uniform_int_distribution<int> len(0, static_cast<int>(length));
    std::uniform_int_distribution<int> pick(0, sizeof alphabet - 2);
    std::string k(static_cast<size_t>(len(rng)), ' ');
    for (char& c : k)
        c = alphabet[pick(rng)];
    if (!k.empty() && rng() % 3 == 0)
        k[0] = 'M';
    return characterKey(k, length);
}

void expectSame(Tag& tag, const Model& model, const char* when) {
    std::vector<Entry> got;
    Status s = walk(tag, got);
    ASSERT_TRUE(s.isOk()) << when << ": " << s.message();
    std::vector<Entry> want(model.begin(), model.end());
    if (tag.descending())
        std::reverse(want.begin(), want.end());
    ASSERT_EQ(got.size(), want.size()) << when;
    EXPECT_TRUE(got == want) << when;
    uint64_t entries = 0;
    s = tag.check(&entries);
    ASSERT_TRUE(s.isOk()) << when << ": " << s.message();
    EXPECT_EQ(entries, model.size()) << when;
}

}  // namespace

TEST(CdxTree, RandomInsertsAndRemovesMatchAModelThroughSplitsMergesAndReopen) {
    struct Case {
        uint32_t keyLength;
        size_t cacheLimit;
        int operations;
    } cases[] = {{12, 8192, 30000}, {50, 16, 12000}, {240, 64, 3000}, {3, 8192, 20000}};
    for (const Case& c : cases) {
        SCOPED_TRACE("key length " + std::to_string(c.keyLength));
        std::mt19937 rng(c.keyLength);
        auto* io = new MemoryPageIo();
        std::unique_ptr<IndexFile> file;
        ASSERT_TRUE(
            IndexFile::create(std::unique_ptr<PageIo>(io), {tagSpec("K", c.keyLength)}, true, file)
                .isOk());
        file->setCacheLimit(c.cacheLimit);
        Tag* tag = &file->tag(0);
        Model model;
        std::vector<Entry> live;
        uint32_t nextRec = 1;
        for (int op = 0; op < c.operations; ++op) {
            // Grow for the first two thirds, then shrink to nearly nothing.
            const bool grow = op < c.operations * 2 / 3 ? rng() % 4 != 0 : rng() % 8 == 0;
            if (grow || live.empty()) {
                Entry e{randomKey(rng, c.keyLength),
                        rng() % 5 == 0 ? nextRec++ + 70000 : nextRec++};
                bool inserted = false;
                ASSERT_TRUE(tag->insert(bytes(e.first), e.second, &inserted).isOk());
                ASSERT_TRUE(inserted);
                model.insert(e);
                live.push_back(e);
            } else {
                const size_t i = rng() % live.size();
                std::swap(live[i], live.back());
                const Entry e = live.back();
                live.pop_back();
                Status s = tag->remove(bytes(e.first), e.second);
                ASSERT_TRUE(s.isOk()) << s.message();
                model.erase(e);
            }
            if (op % 3000 == 2999)
                expectSame(*tag, model, "during the run");
        }
        expectSame(*tag, model, "at the end");

        // Removing what is not there changes nothing.
        const std::string absent = characterKey("~absent", c.keyLength);
        EXPECT_EQ(tag->remove(bytes(absent), 1).code(), Code::NotFound);

        // Seeks agree with the model's lower bound on the key alone.
        Cursor cursor(*tag);
        for (int i = 0; i < 500; ++i) {
            const std::string probe = randomKey(rng, c.keyLength);
            const uint32_t len = 1 + rng() % c.keyLength;
            bool found = false;
            ASSERT_TRUE(cursor.seek(bytes(probe), len, &found).isOk());
            auto it = std::find_if(model.begin(), model.end(), [&](const Entry& e) {
                return e.first.compare(0, len, probe, 0, len) >= 0;
            });
            if (it == model.end()) {
                EXPECT_FALSE(cursor.valid());
                EXPECT_FALSE(found);
            } else {
                ASSERT_TRUE(cursor.valid());
                EXPECT_EQ(cursor.recNo(), it->second);
                EXPECT_EQ(found, it->first.compare(0, len, probe, 0, len) == 0);
            }
        }

        ASSERT_TRUE(file->flush().isOk());
        EXPECT_EQ(io->bytes().size() % kPageSize, 0u);
        std::vector<uint8_t> saved = io->bytes();
        file.reset();
        ASSERT_TRUE(IndexFile::open(std::make_unique<MemoryPageIo>(saved), false, file).isOk());
        expectSame(file->tag(0), model, "after reopening");
    }
}

TEST(CdxTree, AppendingInKeyOrderBuildsSeveralLevelsWithFullNodes) {
    std::unique_ptr<IndexFile> file;
    auto* io = new MemoryPageIo();
    ASSERT_TRUE(IndexFile::create(std::unique_ptr<PageIo>(io), {tagSpec("N", 8, KeyType::Numeric)},
                                  true, file)
                    .isOk());
    Tag& tag = file->tag(0);
    Model model;
    for (uint32_t r = 1; r <= 60000; ++r) {
        const std::string k = numericKey(r * 0.5 - 1000);
        ASSERT_TRUE(tag.insert(bytes(k), r).isOk());
        model.insert({k, r});
    }
    expectSame(tag, model, "after appends");
    ASSERT_TRUE(file->flush().isOk());
    // Pages stay well filled: the file is not much larger than a bulk build.
    const size_t appended = io->bytes().size();
    std::string keys;
    std::vector<uint32_t> recs;
    for (const auto& [k, r] : model) {
        keys += k;
        recs.push_back(r);
    }
    auto* io2 = new MemoryPageIo();
    std::unique_ptr<IndexFile> built;
    ASSERT_TRUE(IndexFile::create(std::unique_ptr<PageIo>(io2), {tagSpec("N", 8, KeyType::Numeric)},
                                  true, built)
                    .isOk());
    ASSERT_TRUE(built->tag(0).build(bytes(keys), recs.data(), recs.size()).isOk());
    ASSERT_TRUE(built->flush().isOk());
    EXPECT_LT(appended, io2->bytes().size() * 13 / 10);
    expectSame(built->tag(0), model, "after a build");
}

TEST(CdxTree, BuildFromUnsortedEntriesMatchesInsertsForEveryKind) {
    struct Case {
        const char* what;
        TagSpec tagSpec;
    } cases[] = {
        {"character", tagSpec("C", 20)},
        {"numeric", tagSpec("N", 8, KeyType::Numeric)},
        {"descending", tagSpec("D", 20, KeyType::Character, false, true)},
        {"unique", tagSpec("U", 4, KeyType::Character, true)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::mt19937 rng(7);
        std::string keys;
        std::vector<uint32_t> recs;
        std::map<std::string, uint32_t> firstOfKey;
        for (uint32_t r = 1; r <= 20000; ++r) {
            std::string k =
                c.tagSpec.keyType == KeyType::Numeric
                    ? numericKey(static_cast<double>(static_cast<int>(rng() % 4000) - 2000) / 8)
                    : randomKey(rng, c.tagSpec.keyLength);
            keys += k;
            recs.push_back(r);
            firstOfKey.emplace(k, r);
        }
        // Shuffle the input order; record numbers stay attached to keys.
        std::vector<size_t> perm(recs.size());
        for (size_t i = 0; i < perm.size(); ++i)
            perm[i] = i;
        std::shuffle(perm.begin(), perm.end(), rng);
        std::string shuffledKeys;
        std::vector<uint32_t> shuffledRecs;
        for (size_t i : perm) {
            shuffledKeys += keys.substr(i * c.tagSpec.keyLength, c.tagSpec.keyLength);
            shuffledRecs.push_back(recs[i]);
        }
        Model model;
        if (c.tagSpec.unique) {
            for (const auto& [k, r] : firstOfKey)
                model.insert({k, r});
        } else {
            for (size_t i = 0; i < recs.size(); ++i)
                model.insert({keys.substr(i * c.tagSpec.keyLength, c.tagSpec.keyLength), recs[i]});
        }

        std::unique_ptr<IndexFile> built, inserted;
        ASSERT_TRUE(
            IndexFile::create(std::make_unique<MemoryPageIo>(), {c.tagSpec}, true, built).isOk());
        ASSERT_TRUE(built->tag(0)
                        .build(bytes(shuffledKeys), shuffledRecs.data(), shuffledRecs.size())
                        .isOk());
        expectSame(built->tag(0), model, "built");

        ASSERT_TRUE(IndexFile::create(std::make_unique<MemoryPageIo>(), {c.tagSpec}, true, inserted)
                        .isOk());
        for (size_t i = 0; i < recs.size(); ++i) {
            bool added = false;
            ASSERT_TRUE(
                inserted->tag(0)
                    .insert(bytes(keys.substr(i * c.tagSpec.keyLength, c.tagSpec.keyLength)),
                            recs[i], &added)
                    .isOk());
            EXPECT_EQ(added,
                      !c.tagSpec.unique ||
                          firstOfKey[keys.substr(i * c.tagSpec.keyLength, c.tagSpec.keyLength)] ==
                              recs[i]);
        }
        expectSame(inserted->tag(0), model, "inserted");
    }
}

TEST(CdxTree, DescendingTagSeeksTheFirstKeyInItsOwnOrder) {
    std::unique_ptr<IndexFile> file;
    ASSERT_TRUE(IndexFile::create(std::make_unique<MemoryPageIo>(),
                                  {tagSpec("D", 5, KeyType::Character, false, true)}, true, file)
                    .isOk());
    Tag& tag = file->tag(0);
    const char* names[] = {"ALPHA", "BETA", "BETA", "DELTA", "GAMMA"};
    for (uint32_t r = 1; r <= 5; ++r)
        ASSERT_TRUE(tag.insert(bytes(characterKey(names[r - 1], 5)), r).isOk());
    Cursor c(tag);
    ASSERT_TRUE(c.first().isOk());
    EXPECT_EQ(c.recNo(), 5u);  // GAMMA first
    bool found = false;
    ASSERT_TRUE(c.seek(bytes(std::string("BETA")), 4, &found).isOk());
    EXPECT_TRUE(found);
    EXPECT_EQ(c.recNo(), 3u);  // equal keys come in reverse record order
    ASSERT_TRUE(c.next().isOk());
    EXPECT_EQ(c.recNo(), 2u);
    // Soft seek: CAT is missing; the next key in descending order is BETA.
    ASSERT_TRUE(c.seek(bytes(std::string("CAT")), 3, &found).isOk());
    EXPECT_FALSE(found);
    EXPECT_EQ(c.recNo(), 3u);
    ASSERT_TRUE(c.seek(bytes(std::string("AA")), 2, &found).isOk());
    EXPECT_FALSE(c.valid());
    ASSERT_TRUE(c.seek(bytes(std::string("Z")), 1, &found).isOk());
    EXPECT_EQ(c.recNo(), 5u);
}

TEST(CdxTree, RangeEndsAndMissingEntriesInBothDirections) {
    for (bool descending : {false, true}) {
        SCOPED_TRACE(descending ? "descending" : "ascending");
        std::unique_ptr<IndexFile> file;
        ASSERT_TRUE(IndexFile::create(std::make_unique<MemoryPageIo>(),
                                      {tagSpec("D", 5, KeyType::Character, false, descending)},
                                      true, file)
                        .isOk());
        Tag& tag = file->tag(0);
        const char* names[] = {"ALPHA", "BETA", "BETA", "DELTA", "GAMMA"};
        for (uint32_t r = 1; r <= 5; ++r)
            ASSERT_TRUE(tag.insert(bytes(characterKey(names[r - 1], 5)), r).isOk());
        Cursor c(tag);
        // The end of the range BETA..BETA, and of a range ending between keys.
        ASSERT_TRUE(c.seekLast(bytes(std::string("BETA")), 4).isOk());
        EXPECT_EQ(c.recNo(), descending ? 2u : 3u);
        ASSERT_TRUE(c.seekLast(bytes(std::string("C")), 1).isOk());
        EXPECT_EQ(c.recNo(), descending ? 4u : 3u);
        ASSERT_TRUE(c.seekLast(bytes(std::string(descending ? "H" : "0")), 1).isOk());
        EXPECT_FALSE(c.valid());
        // A record that is not in the tag: the cursor stands on what follows it.
        bool exact = true;
        ASSERT_TRUE(c.seekEntry(bytes(characterKey("CAT", 5)), 9, &exact).isOk());
        EXPECT_FALSE(exact);
        EXPECT_EQ(c.recNo(), descending ? 3u : 4u);
        ASSERT_TRUE(c.seekEntry(bytes(characterKey("BETA", 5)), 2, &exact).isOk());
        EXPECT_TRUE(exact);
        EXPECT_EQ(c.recNo(), 2u);
    }
}

TEST(CdxTree, CursorKeepsItsPlaceWhileTheTagChanges) {
    std::unique_ptr<IndexFile> file;
    ASSERT_TRUE(
        IndexFile::create(std::make_unique<MemoryPageIo>(), {tagSpec("K", 6)}, true, file).isOk());
    Tag& tag = file->tag(0);
    for (uint32_t r = 1; r <= 3000; ++r)
        ASSERT_TRUE(tag.insert(bytes(characterKey(std::to_string(r * 2 + 100000), 6)), r).isOk());
    Cursor c(tag);
    bool found = false;
    ASSERT_TRUE(c.seek(bytes(std::string("102000")), 6, &found).isOk());
    ASSERT_TRUE(found);
    EXPECT_EQ(c.recNo(), 1000u);
    // Its own entry disappears: next goes to what followed it, prev to what preceded it.
    ASSERT_TRUE(tag.remove(bytes(std::string("102000")), 1000).isOk());
    ASSERT_TRUE(tag.insert(bytes(std::string("102001")), 9999).isOk());
    ASSERT_TRUE(c.next().isOk());
    EXPECT_EQ(c.recNo(), 9999u);
    ASSERT_TRUE(c.prev().isOk());
    EXPECT_EQ(c.recNo(), 999u);
    // A cursor at the end stays there; prev from the first leaves the tag.
    ASSERT_TRUE(c.last().isOk());
    ASSERT_TRUE(c.next().isOk());
    EXPECT_FALSE(c.valid());
    ASSERT_TRUE(c.first().isOk());
    ASSERT_TRUE(c.prev().isOk());
    EXPECT_FALSE(c.valid());
}

TEST(CdxFile, ManyTagsAndTheDirectoryReadBackInCreationOrder) {
    std::vector<TagSpec> tagSpecs;
    for (int i = 0; i < 60; ++i) {
        TagSpec s = tagSpec("T", 10);
        s.name = "TAG_" + std::to_string(59 - i);
        s.keyExpression = "UPPER(NAME)+STR(" + std::to_string(i) + ")";
        if (i % 2)
            s.forExpression = "!DELETED()";
        s.unique = i % 3 == 0;
        s.descending = i % 5 == 0;
        tagSpecs.push_back(s);
    }
    auto* io = new MemoryPageIo();
    std::unique_ptr<IndexFile> file;
    ASSERT_TRUE(IndexFile::create(std::unique_ptr<PageIo>(io), tagSpecs, false, file).isOk());
    for (size_t t = 0; t < tagSpecs.size(); ++t)
        ASSERT_TRUE(
            file->tag(t).insert(bytes(characterKey("X" + std::to_string(t), 10)), 7).isOk());
    EXPECT_EQ(file->addTag(tagSpecs[3]).code(), Code::Invalid);
    TagSpec bad = tagSpecs[0];
    bad.name = "9LIVES";
    EXPECT_EQ(file->addTag(bad).code(), Code::Invalid);
    ASSERT_TRUE(file->close().isOk());
    std::vector<uint8_t> saved = io->bytes();
    file.reset();
    ASSERT_TRUE(IndexFile::open(std::make_unique<MemoryPageIo>(saved), true, file).isOk());
    EXPECT_FALSE(file->structural());
    ASSERT_EQ(file->tagCount(), tagSpecs.size());
    EXPECT_TRUE(file->check().isOk()) << file->check().message();
    for (size_t t = 0; t < tagSpecs.size(); ++t) {
        Tag& tag = file->tag(t);
        EXPECT_EQ(tag.name(), tagSpecs[t].name);
        EXPECT_EQ(tag.keyExpression(), tagSpecs[t].keyExpression);
        EXPECT_EQ(tag.forExpression(), tagSpecs[t].forExpression);
        EXPECT_EQ(tag.unique(), tagSpecs[t].unique);
        EXPECT_EQ(tag.descending(), tagSpecs[t].descending);
        EXPECT_EQ(tag.options(), 0x60 | (tagSpecs[t].unique ? 1 : 0) |
                                     (tagSpecs[t].forExpression.empty() ? 0 : 8));
        EXPECT_EQ(file->findTag("tag_" + std::to_string(59 - t)), &tag);
    }
    // Read-only files refuse changes.
    EXPECT_EQ(file->tag(0).insert(bytes(characterKey("Y", 10)), 1).code(), Code::Invalid);
}

TEST(CdxFile, AFailedWriteIsReportedNotSwallowed) {
    auto* io = new MemoryPageIo();
    std::unique_ptr<IndexFile> file;
    ASSERT_TRUE(
        IndexFile::create(std::unique_ptr<PageIo>(io), {tagSpec("K", 10)}, true, file).isOk());
    for (uint32_t r = 1; r <= 500; ++r)
        ASSERT_TRUE(file->tag(0).insert(bytes(characterKey(std::to_string(r), 10)), r).isOk());
    io->failWritesAfter(600);
    Status s = file->flush(true);
    EXPECT_EQ(s.code(), Code::IoError);
    EXPECT_NE(s.message().find("memory.cdx"), std::string::npos);
    io->failWritesAfter(-1);
}

TEST(CdxFile, AFileOnDiskReadsBackAfterChangesAndReopening) {
    const std::string path = std::string(QLY_BINARY_DIR) + "/cdx_on_disk_test.cdx";
    std::mt19937 rng(99);
    Model model;
    {
        std::unique_ptr<IndexFile> file;
        ASSERT_TRUE(IndexFile::create(path, {tagSpec("K", 16)}, true, file).isOk());
        std::string keys;
        std::vector<uint32_t> recs;
        for (uint32_t r = 1; r <= 20000; ++r) {
            const std::string k = randomKey(rng, 16);
            keys += k;
            recs.push_back(r);
            model.insert({k, r});
        }
        ASSERT_TRUE(file->tag(0).build(bytes(keys), recs.data(), recs.size()).isOk());
        ASSERT_TRUE(file->close().isOk());
    }
    for (int round = 0; round < 2; ++round) {
        std::unique_ptr<IndexFile> file;
        ASSERT_TRUE(IndexFile::open(path, false, file).isOk());
        file->setCacheLimit(32);  // pages leave memory and come back from the file
        expectSame(file->tag(0), model, "reopened");
        for (int i = 0; i < 3000; ++i) {
            auto it = model.begin();
            std::advance(it, static_cast<long>(rng() % model.size()));
            const Entry gone = *it;
            ASSERT_TRUE(file->tag(0).remove(bytes(gone.first), gone.second).isOk());
            model.erase(gone);
            const Entry added{randomKey(rng, 16), 30000 + static_cast<uint32_t>(round * 5000 + i)};
            ASSERT_TRUE(file->tag(0).insert(bytes(added.first), added.second).isOk());
            model.insert(added);
        }
        expectSame(file->tag(0), model, "changed");
    }
    std::unique_ptr<IndexFile> file;
    ASSERT_TRUE(IndexFile::open(path, true, file).isOk());
    expectSame(file->tag(0), model, "finally");
    std::remove(path.c_str());
}

TEST(CdxFile, FreedPagesAreChainedFromTheHeaderAndTakenAgainByAnyTag) {
    auto* io = new MemoryPageIo();
    std::unique_ptr<IndexFile> file;
    ASSERT_TRUE(IndexFile::create(std::unique_ptr<PageIo>(io), {tagSpec("A", 30), tagSpec("B", 30)},
                                  true, file)
                    .isOk());
    std::mt19937 rng(7);
    Model a, b;
    for (uint32_t r = 1; r <= 3000; ++r) {
        const std::string k = randomKey(rng, 30);
        ASSERT_TRUE(file->tag(0).insert(bytes(k), r).isOk());
        a.insert({k, r});
    }
    // Emptying most of A frees its pages.
    for (auto it = a.begin(); it != a.end();) {
        if (it->second % 10 == 0) {
            ++it;
            continue;
        }
        ASSERT_TRUE(file->tag(0).remove(bytes(it->first), it->second).isOk());
        it = a.erase(it);
    }
    ASSERT_TRUE(file->flush().isOk());
    const size_t freed = file->freePageCount();
    ASSERT_GT(freed, 20u);
    // On disk: the head at offset 4, each page's first 4 bytes the next, 0 at the end.
    std::vector<uint8_t> saved = io->bytes();
    std::vector<uint32_t> chain;
    for (uint32_t at = getLe32(&saved[4]); at != 0 && chain.size() <= freed;
         at = getLe32(&saved[at]))
        chain.push_back(at);
    EXPECT_EQ(chain.size(), freed);
    for (uint32_t page : chain)
        EXPECT_TRUE(page % kPageSize == 0 && page >= kHeaderSize && page < saved.size()) << page;

    // Read back, B takes the freed pages before the file grows.
    file.reset();
    auto* io2 = new MemoryPageIo(saved);
    ASSERT_TRUE(IndexFile::open(std::unique_ptr<PageIo>(io2), false, file).isOk());
    EXPECT_EQ(file->freePageCount(), freed);
    uint32_t r = 1;
    while (file->freePageCount() > 0) {
        const std::string k = randomKey(rng, 30);
        ASSERT_TRUE(file->tag(1).insert(bytes(k), r).isOk());
        b.insert({k, r++});
    }
    ASSERT_TRUE(file->flush().isOk());
    // The insert that took the last free page may have needed one more.
    EXPECT_LE(io2->bytes().size(), saved.size() + 2 * kPageSize);
    EXPECT_EQ(getLe32(&io2->bytes()[4]), 0u);
    Status s = file->check();
    EXPECT_TRUE(s.isOk()) << s.message();
    expectSame(file->tag(0), a, "A after B took its pages");
    expectSame(file->tag(1), b, "B");

    // A chain that loops is damaged: its pages are not handed out twice.
    std::vector<uint8_t> looped = saved;
    putLe32(&looped[chain.back()], chain.front());
    file.reset();
    auto* io3 = new MemoryPageIo(looped);
    ASSERT_TRUE(IndexFile::open(std::unique_ptr<PageIo>(io3), false, file).isOk());
    EXPECT_EQ(file->freePageCount(), 0u);
    for (uint32_t i = 0; i < 500; ++i)
        ASSERT_TRUE(file->tag(1).insert(bytes(randomKey(rng, 30)), 90000 + i).isOk());
    s = file->check();
    EXPECT_TRUE(s.isOk()) << s.message();
}
