#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "archive/FileAccess.h"

// The backup archive format (.bkp).
//
//   header (first volume only)
//     Int32 TitleLength, Title, Int32 TotalSize, Int32 FileCount
//   records, each starting with Int32 NameLength:
//     > 0, name "NEXT:DISK" + 3 digits : volume change; the volume ends
//     > 0, any other name              : member: Name, Int32 DateStamp,
//                                        block stream
//     0                                : end of archive
//   block stream "EC2\0" (written):
//     blocks Int32 BlockLength + payload, then the end mark 0
//     BlockLength > 0 : one complete zlib stream expanding to 1..16384 bytes
//     BlockLength < 0 : -BlockLength bytes stored as they are (<= 16384)
//   block stream "ECS\0" (legacy, read only):
//     Int32 StreamLength, then blocks Int32 L + L bytes of LZRW1KH data
//     until StreamLength (4 + L per block) is used up
//
// Integers are signed 32-bit little-endian; strings carry no terminator.
// A later volume (file extension .002, .003 ...) starts with the block
// stream that continues the member interrupted on the previous volume.
namespace qly::archive {

constexpr std::size_t kBlockSize = 16384;
constexpr std::int32_t kVolumeReserve = 16484;  // a block and some records
constexpr std::uint8_t kMagicCurrent[4] = {'E', 'C', '2', 0};
constexpr std::uint8_t kMagicLegacy[4] = {'E', 'C', 'S', 0};
constexpr std::int32_t kEndMark = 0;
constexpr const char* kVolumeChangePrefix = "NEXT:DISK";
constexpr std::size_t kVolumeChangeNameLength = 12;
constexpr const char* kFileListName = "FILE:LIST";
// Longer names are taken as damage (no path on this system comes close).
constexpr std::int32_t kMaxNameLength = 65536;

// The three digits of a volume number: 2 -> "002", 10 -> "010", 1234 -> "234".
std::string volumeDigits(int volume);
// The archive's file name with its extension replaced by "." and the digits
// (a file name without extension gets them appended).
std::string volumeFileName(const std::string& archiveName, const std::string& digits);

// Compresses pieces of at most kBlockSize bytes, each into a zlib stream of
// its own (the compressor is reset to a fresh state for every block).
class BlockCompressor {
public:
    enum class Result { Compressed, Stored, Error };

    BlockCompressor();
    ~BlockCompressor();
    BlockCompressor(const BlockCompressor&) = delete;
    BlockCompressor& operator=(const BlockCompressor&) = delete;

    // zlib level -1 or 0..9; false when the compressor cannot be initialised.
    bool init(int level);
    // Compresses into `out` (kBlockSize bytes); on Compressed `outLength`
    // holds the stream's length. Stored: the stream did not fit.
    Result compress(const std::uint8_t* piece, std::size_t length, std::uint8_t* out,
                    std::size_t& outLength);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Counts the bytes read from a stream, so that damage can be located.
class ArchiveInput {
public:
    explicit ArchiveInput(ByteStream& stream) : m_stream(&stream) {}
    bool read(void* data, std::size_t size);
    bool readInt32(std::int32_t& value);
    std::int64_t position() const { return m_position; }

private:
    ByteStream* m_stream;
    std::int64_t m_position = 0;
};

// Reads block streams of either encoding through fixed buffers.
class BlockStreamReader {
public:
    enum class Status {
        Ok,               // read up to its end mark (or its length, legacy)
        Truncated,        // the data ended early or could not be read
        BadMagic,         // neither "EC2" nor "ECS"
        Damaged,          // a length or a legacy block out of bounds
        DecompressError,  // the decompressor failed or reported bad data
        Stopped,          // the sink asked to stop
    };
    // Receives each block's expansion; returns false to stop reading.
    using Sink = std::function<bool(const std::uint8_t* data, std::size_t length)>;

    BlockStreamReader();
    ~BlockStreamReader();
    BlockStreamReader(const BlockStreamReader&) = delete;
    BlockStreamReader& operator=(const BlockStreamReader&) = delete;

    // With `expand` every block is decoded and handed to the sink (which may
    // be empty); without it the blocks are passed over by their lengths.
    Status read(ArchiveInput& input, bool expand, const Sink& sink);

private:
    Status readCurrent(ArchiveInput& input, bool expand, const Sink& sink);
    Status readLegacy(ArchiveInput& input, bool expand, const Sink& sink);

    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace qly::archive
