#include "archive/Format.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "archive/ByteOrder.h"
#include "archive/Lzrw1kh.h"

namespace qly::archive {

std::string volumeDigits(int volume) {
    char text[16];
    std::snprintf(text, sizeof text, "%03d", volume % 1000);
    return text;
}

std::string volumeFileName(const std::string& archiveName, const std::string& digits) {
    const std::size_t slash = archiveName.find_last_of("/\\");
    const std::size_t dot = archiveName.rfind('.');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExtension ? archiveName.substr(0, dot) : archiveName) + "." + digits;
}

// ---------------------------------------------------------------------------

struct BlockCompressor::Impl {
    z_stream stream{};
    bool ready = false;
};

BlockCompressor::BlockCompressor() : m_impl(std::make_unique<Impl>()) {}

BlockCompressor::~BlockCompressor() {
    if (m_impl->ready) {
        deflateEnd(&m_impl->stream);
    }
}

bool BlockCompressor::init(int level) {
    if (m_impl->ready) {
        deflateEnd(&m_impl->stream);
        m_impl->ready = false;
    }
    m_impl->stream = z_stream{};
    m_impl->ready =
        deflateInit2(&m_impl->stream, level, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    return m_impl->ready;
}

BlockCompressor::Result BlockCompressor::compress(const std::uint8_t* piece, std::size_t length,
                                                  std::uint8_t* out, std::size_t& outLength) {
    if (!m_impl->ready) {
        return Result::Error;
    }
    z_stream& z = m_impl->stream;
    // A reset stream is the same as a freshly initialised one (same level,
    // window and strategy), without allocating its tables again.
    if (deflateReset(&z) != Z_OK) {
        return Result::Error;
    }
    z.next_in = const_cast<Bytef*>(piece);
    z.avail_in = static_cast<uInt>(length);
    z.next_out = out;
    z.avail_out = static_cast<uInt>(kBlockSize);
    const int rc = deflate(&z, Z_FINISH);
    if (rc == Z_STREAM_END) {
        outLength = kBlockSize - z.avail_out;
        return Result::Compressed;
    }
    if (rc == Z_OK || rc == Z_BUF_ERROR) {
        return Result::Stored;
    }
    return Result::Error;
}

// ---------------------------------------------------------------------------

bool ArchiveInput::read(void* data, std::size_t size) {
    auto* out = static_cast<std::uint8_t*>(data);
    std::size_t done = 0;
    while (done < size) {
        const std::int64_t n = m_stream->read(out + done, static_cast<std::int64_t>(size - done));
        if (n <= 0) {
            m_position += static_cast<std::int64_t>(done);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    m_position += static_cast<std::int64_t>(size);
    return true;
}

bool ArchiveInput::readInt32(std::int32_t& value) {
    std::uint8_t bytes[4];
    if (!read(bytes, 4)) {
        return false;
    }
    value = getInt32(bytes);
    return true;
}

// ---------------------------------------------------------------------------

struct BlockStreamReader::Impl {
    z_stream stream{};
    bool inflateReady = false;
    bool inflateFailed = false;
    // Fixed buffers: large enough for a legacy block and its expansion, and
    // so also for a current block.
    std::unique_ptr<std::uint8_t[]> in{new std::uint8_t[kLegacyMaxBlock]};
    std::unique_ptr<std::uint8_t[]> out{new std::uint8_t[kLegacyMaxBlock]};

    bool prepareInflate() {
        if (inflateReady) {
            return inflateReset(&stream) == Z_OK;
        }
        if (inflateFailed) {
            return false;
        }
        stream = z_stream{};
        inflateReady = inflateInit(&stream) == Z_OK;
        inflateFailed = !inflateReady;
        return inflateReady;
    }
};

BlockStreamReader::BlockStreamReader() : m_impl(std::make_unique<Impl>()) {}

BlockStreamReader::~BlockStreamReader() {
    if (m_impl->inflateReady) {
        inflateEnd(&m_impl->stream);
    }
}

BlockStreamReader::Status BlockStreamReader::read(ArchiveInput& input, bool expand,
                                                  const Sink& sink) {
    std::uint8_t magic[4];
    if (!input.read(magic, 4)) {
        return Status::Truncated;
    }
    // The magic is text up to its first zero byte.
    const std::size_t len =
        static_cast<std::size_t>(std::find(magic, magic + 4, std::uint8_t{0}) - magic);
    const std::string text(reinterpret_cast<const char*>(magic), len);
    if (text == "EC2") {
        return readCurrent(input, expand, sink);
    }
    if (text == "ECS") {
        return readLegacy(input, expand, sink);
    }
    return Status::BadMagic;
}

BlockStreamReader::Status BlockStreamReader::readCurrent(ArchiveInput& input, bool expand,
                                                         const Sink& sink) {
    for (;;) {
        std::int32_t blockLength = 0;
        if (!input.readInt32(blockLength)) {
            return Status::Truncated;
        }
        if (blockLength == kEndMark) {
            return Status::Ok;
        }
        const std::int64_t magnitude =
            blockLength < 0 ? -static_cast<std::int64_t>(blockLength) : blockLength;
        if (magnitude > static_cast<std::int64_t>(kBlockSize)) {
            return Status::Damaged;
        }
        const auto size = static_cast<std::size_t>(magnitude);
        if (!input.read(m_impl->in.get(), size)) {
            return Status::Truncated;
        }
        if (!expand) {
            continue;
        }
        const std::uint8_t* data = m_impl->in.get();
        std::size_t produced = size;
        if (blockLength > 0) {
            if (!m_impl->prepareInflate()) {
                return Status::DecompressError;
            }
            z_stream& z = m_impl->stream;
            z.next_in = m_impl->in.get();
            z.avail_in = static_cast<uInt>(size);
            z.next_out = m_impl->out.get();
            z.avail_out = static_cast<uInt>(kBlockSize);
            const int rc = inflate(&z, Z_FINISH);
            if (rc == Z_BUF_ERROR && z.avail_out == 0) {
                return Status::Damaged;  // expands beyond one block
            }
            if (rc == Z_BUF_ERROR) {
                return Status::Truncated;  // the zlib stream ends early
            }
            if (rc != Z_STREAM_END) {
                return Status::DecompressError;
            }
            produced = kBlockSize - z.avail_out;
            // One block holds one stream expanding to at least one byte:
            // bytes after its end or an empty expansion are damage.
            if (z.avail_in != 0 || produced == 0) {
                return Status::Damaged;
            }
            data = m_impl->out.get();
        }
        if (sink && !sink(data, produced)) {
            return Status::Stopped;
        }
    }
}

BlockStreamReader::Status BlockStreamReader::readLegacy(ArchiveInput& input, bool expand,
                                                        const Sink& sink) {
    std::int32_t remaining = 0;
    if (!input.readInt32(remaining)) {
        return Status::Truncated;
    }
    if (remaining < 0) {
        return Status::Damaged;
    }
    while (remaining > 0) {
        std::int32_t blockLength = 0;
        if (remaining < 4 || !input.readInt32(blockLength)) {
            return remaining < 4 ? Status::Damaged : Status::Truncated;
        }
        if (blockLength < 0 || blockLength > static_cast<std::int32_t>(kLegacyMaxBlock) ||
            blockLength > remaining - 4) {
            return Status::Damaged;
        }
        remaining -= 4 + blockLength;
        const auto size = static_cast<std::size_t>(blockLength);
        if (!input.read(m_impl->in.get(), size)) {
            return Status::Truncated;
        }
        if (!expand) {
            continue;
        }
        const std::int64_t produced =
            lzrw1khDecode(m_impl->in.get(), size, m_impl->out.get(), kLegacyMaxBlock);
        if (produced < 0) {
            return Status::Damaged;
        }
        if (sink && produced > 0 && !sink(m_impl->out.get(), static_cast<std::size_t>(produced))) {
            return Status::Stopped;
        }
    }
    return Status::Ok;
}

}  // namespace qly::archive
