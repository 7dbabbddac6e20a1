// The archive format's building blocks: the legacy decoder, block streams,
// volume names, date stamps and wildcards.

#include <gtest/gtest.h>
#include <zlib.h>

#include <climits>
#include <ctime>

#include "archive/ArchiveTestUtil.h"
#include "archive/FileInfo.h"
#include "archive/FileSelection.h"
#include "archive/Format.h"
#include "archive/Lzrw1kh.h"

namespace qly::archive {
namespace {

using test::ArchiveBuilder;
using test::Bytes;

Bytes decodeLegacy(const Bytes& block, std::size_t capacity = kLegacyMaxBlock) {
    Bytes out(capacity);
    const std::int64_t n = lzrw1khDecode(block.data(), block.size(), out.data(), capacity);
    if (n < 0) {
        return Bytes{'E', 'R', 'R'};
    }
    out.resize(static_cast<std::size_t>(n));
    return out;
}

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

TEST(Lzrw1kh, DecodesStoredLiteralsCopiesAndRuns) {
    // Stored: the bytes after 0x80 as they are.
    EXPECT_EQ(decodeLegacy({0x80, 'a', 'b', 'c'}), text("abc"));
    EXPECT_EQ(decodeLegacy({0x80}), Bytes{});
    // A literal, then a copy with distance 1 and length 5 repeats it five times.
    EXPECT_EQ(decodeLegacy({0x00, 0x40, 0x00, 'A', 0x00, 0x12}), text("AAAAAA"));
    // A copy that overlaps: distance 2, length 6 after "ab".
    EXPECT_EQ(decodeLegacy({0x00, 0x20, 0x00, 'a', 'b', 0x00, 0x23}), text("abababab"));
    // A run: distance 0, 4 + 16 copies of 'Z'.
    EXPECT_EQ(decodeLegacy({0x00, 0x80, 0x00, 0x00, 0x00, 0x04, 'Z'}), Bytes(20, 'Z'));
    // The longest run: 0xF * 256 + 0xFF + 16 = 4111.
    EXPECT_EQ(decodeLegacy({0x00, 0x80, 0x00, 0x00, 0x0F, 0xFF, 'r'}), Bytes(4111, 'r'));
}

TEST(Lzrw1kh, ReloadsTheControlWordAfterSixteenItems) {
    Bytes block = {0x00, 0x00, 0x00};
    for (char c = 'a'; c <= 'p'; ++c) {
        block.push_back(static_cast<std::uint8_t>(c));
    }
    // Next control word: a copy (distance 16, length 3) then a literal.
    block.insert(block.end(), {0x80, 0x00, 0x01, 0x00, 'q'});
    EXPECT_EQ(decodeLegacy(block), text("abcdefghijklmnopabcq"));
}

TEST(Lzrw1kh, RefusesDamagedBlocksWithoutReadingOrWritingOutOfBounds) {
    const Bytes err = text("ERR");
    struct Case {
        const char* what;
        Bytes block;
        std::size_t capacity;
    };
    const Case cases[] = {
        {"copy before the output's start", {0x00, 0x80, 0x00, 0x00, 0x12}, kLegacyMaxBlock},
        {"copy item cut short", {0x00, 0x40, 0x00, 'A', 0x00}, kLegacyMaxBlock},
        {"run item cut short", {0x00, 0x80, 0x00, 0x00, 0x00, 0x04}, kLegacyMaxBlock},
        {"control word missing", {0x00, 0x80}, kLegacyMaxBlock},
        {"run beyond the output", {0x00, 0x80, 0x00, 0x00, 0x0F, 0xFF, 'r'}, 4000},
        {"literal beyond the output", {0x00, 0x00, 0x00, 'a', 'b'}, 1},
        {"stored beyond the output", {0x80, 'a', 'b'}, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(decodeLegacy(c.block, c.capacity), err) << c.what;
    }
}

TEST(Format, VolumeNamesCarryThreeDigits) {
    EXPECT_EQ(volumeDigits(2), "002");
    EXPECT_EQ(volumeDigits(9), "009");
    EXPECT_EQ(volumeDigits(10), "010");
    EXPECT_EQ(volumeDigits(999), "999");
    EXPECT_EQ(volumeFileName("/mnt/a/backup.bkp", "002"), "/mnt/a/backup.002");
    EXPECT_EQ(volumeFileName("/mnt/a/backup.bkp", "010"), "/mnt/a/backup.010");
    EXPECT_EQ(volumeFileName("/mnt/a.d/backup", "003"), "/mnt/a.d/backup.003");
    EXPECT_EQ(volumeFileName("a:\\backup.bkp", "002"), "a:\\backup.002");
}

struct Read {
    BlockStreamReader::Status status;
    Bytes out;
};

Read readStream(const Bytes& bytes) {
    MemoryStream stream(bytes);
    ArchiveInput input(stream);
    BlockStreamReader reader;
    Read result;
    result.status = reader.read(input, true, [&](const std::uint8_t* d, std::size_t n) {
        result.out.insert(result.out.end(), d, d + n);
        return true;
    });
    return result;
}

Bytes zlibStream(const Bytes& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    Bytes out(size);
    compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), 1);
    out.resize(size);
    return out;
}

TEST(BlockStream, ReadsCurrentAndLegacyEncodings) {
    const Bytes piece = test::makeBytes(5000, 1, true);
    const Bytes packed = zlibStream(piece);
    ArchiveBuilder current;
    current.magic()
        .int32(static_cast<std::int32_t>(packed.size()))
        .raw(packed)
        .storedBlock(text("xyz"))
        .int32(0);
    Read r = readStream(current.bytes());
    ASSERT_EQ(r.status, BlockStreamReader::Status::Ok);
    Bytes expected = piece;
    expected.insert(expected.end(), {'x', 'y', 'z'});
    EXPECT_EQ(r.out, expected);

    ArchiveBuilder legacy;
    legacy.raw({'E', 'C', 'S', 0}).int32(4 + 4 + 4 + 6);
    legacy.int32(4).raw({0x80, 'a', 'b', 'c'});
    legacy.int32(6).raw({0x00, 0x40, 0x00, 'A', 0x00, 0x12});
    r = readStream(legacy.bytes());
    ASSERT_EQ(r.status, BlockStreamReader::Status::Ok);
    EXPECT_EQ(r.out, text("abcAAAAAA"));
}

TEST(BlockStream, ReportsDamageInsteadOfReadingPastItsBuffers) {
    using S = BlockStreamReader::Status;
    const Bytes big = zlibStream(Bytes(16385, 'a'));  // expands beyond one block
    Bytes corrupt = zlibStream(test::makeBytes(3000, 2, true));
    corrupt[corrupt.size() / 2] ^= 0xFF;
    corrupt[corrupt.size() / 2 + 1] ^= 0x55;
    struct Case {
        const char* what;
        Bytes bytes;
        S status;
    };
    const Case cases[] = {
        {"unknown magic", ArchiveBuilder().raw({0x50, 0x4B, 3, 4}).int32(0).bytes(), S::BadMagic},
        {"positive length above 16384", ArchiveBuilder().magic().int32(16385).bytes(), S::Damaged},
        {"negative length above 16384", ArchiveBuilder().magic().int32(-16385).bytes(), S::Damaged},
        {"lowest integer", ArchiveBuilder().magic().int32(INT_MIN).bytes(), S::Damaged},
        {"block cut short", ArchiveBuilder().magic().int32(-100).raw(Bytes(50, 1)).bytes(),
         S::Truncated},
        {"no end mark", ArchiveBuilder().magic().storedBlock(Bytes(10, 1)).bytes(), S::Truncated},
        {"magic cut short", Bytes{'E', 'C'}, S::Truncated},
        {"expansion beyond one block",
         ArchiveBuilder()
             .magic()
             .int32(static_cast<std::int32_t>(big.size()))
             .raw(big)
             .int32(0)
             .bytes(),
         S::Damaged},
        {"corrupt zlib data",
         ArchiveBuilder()
             .magic()
             .int32(static_cast<std::int32_t>(corrupt.size()))
             .raw(corrupt)
             .int32(0)
             .bytes(),
         S::DecompressError},
        {"legacy block above 32783",
         ArchiveBuilder()
             .raw({'E', 'C', 'S', 0})
             .int32(40000)
             .int32(32784)
             .raw(Bytes(32784, 0x80))
             .bytes(),
         S::Damaged},
        {"legacy block longer than its stream",
         ArchiveBuilder().raw({'E', 'C', 'S', 0}).int32(8).int32(10).raw(Bytes(10, 0x80)).bytes(),
         S::Damaged},
        {"legacy negative stream length",
         ArchiveBuilder().raw({'E', 'C', 'S', 0}).int32(-4).bytes(), S::Damaged},
        {"legacy damaged block",
         ArchiveBuilder()
             .raw({'E', 'C', 'S', 0})
             .int32(9)
             .int32(5)
             .raw({0x00, 0x80, 0x00, 0x00, 0x12})
             .bytes(),
         S::Damaged},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(readStream(c.bytes).status, c.status) << c.what;
    }
}

TEST(DosStamp, PacksLocalTimeWithTwoSecondResolution) {
    struct tm local {};
    local.tm_year = 2026 - 1900;
    local.tm_mon = 11;
    local.tm_mday = 9;
    local.tm_hour = 22;
    local.tm_min = 30;
    local.tm_sec = 45;
    local.tm_isdst = -1;
    const std::time_t t = std::mktime(&local);
    const std::int32_t stamp = toDosStamp(t);
    const auto v = static_cast<std::uint32_t>(stamp);
    EXPECT_EQ(v >> 25, 46u);
    EXPECT_EQ((v >> 21) & 0xF, 12u);
    EXPECT_EQ((v >> 16) & 0x1F, 9u);
    EXPECT_EQ((v >> 11) & 0x1F, 22u);
    EXPECT_EQ((v >> 5) & 0x3F, 30u);
    EXPECT_EQ(v & 0x1F, 22u);
    std::time_t back = 0;
    ASSERT_TRUE(fromDosStamp(stamp, back));
    EXPECT_EQ(back, t - 1);
    EXPECT_FALSE(fromDosStamp(-1, back));
    EXPECT_FALSE(fromDosStamp(0, back));     // month 0
    EXPECT_EQ(toDosStamp(0), kNoDateStamp);  // 1970 is before 1980
}

TEST(Wildcard, MatchesWithoutRegardToCase) {
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    };
    const Case cases[] = {
        {"*.dbf", "MAIN.DBF", true},
        {"*.dbf", "main.dbf.bak", false},
        {"*.*", "README", true},
        {"main.?bf", "Main.Dbf", true},
        {"m*n.*", "manufact.cdx", false},
        {"*", "anything", true},
        {"loc*.dbf", "Location.dbf", true},
        {"?", "ab", false},
        {"*a*b*", "xxaxxbxx", true},
        {"*a*b", "xxaxxbxxc", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(wildcardMatch(c.pattern, c.name), c.match) << c.pattern << " / " << c.name;
    }
}

}  // namespace
}  // namespace qly::archive
