#include "engine/cdx/PageIo.h"

#include <cstring>

namespace cdx {

PageIo::PageIo(std::unique_ptr<qly::FileHandle> file) : m_file(std::move(file)) {}

qly::ResultOr<std::unique_ptr<PageIo>> PageIo::open(qly::FileSystem& fs, const std::string& path,
                                                    bool readOnly, bool create) {
    const qly::OpenMode mode = create     ? qly::OpenMode::CreateOrTruncate
                               : readOnly ? qly::OpenMode::Read
                                          : qly::OpenMode::ReadWrite;
    qly::ResultOr<std::unique_ptr<qly::FileHandle>> file = fs.open(path, mode);
    if (!file)
        return file.result();
    return std::make_unique<PageIo>(std::move(file.value()));
}

qly::Result PageIo::read(uint64_t offset, void* buffer, size_t n) {
    if (n > kBlockSize / 2)
        return readRaw(offset, buffer, n);
    auto inBlock = [&] {
        return offset >= m_blockOffset && offset + n <= m_blockOffset + m_blockBytes;
    };
    if (!inBlock()) {
        m_block.resize(kBlockSize);
        m_blockOffset = offset / kBlockSize * kBlockSize;
        m_blockBytes = 0;
        while (m_blockBytes < kBlockSize) {
            qly::ResultOr<size_t> got =
                m_file->readAt(m_blockOffset + m_blockBytes, m_block.data() + m_blockBytes,
                               kBlockSize - m_blockBytes);
            if (!got) {
                m_blockBytes = 0;
                return got.result();
            }
            if (got.value() == 0)
                break;
            m_blockBytes += got.value();
        }
        if (!inBlock())
            return readRaw(offset, buffer, n);
    }
    std::memcpy(buffer, m_block.data() + (offset - m_blockOffset), n);
    return qly::Result::ok();
}

qly::Result PageIo::readRaw(uint64_t offset, void* buffer, size_t n) {
    return m_file->readExactly(offset, buffer, n);
}

qly::Result PageIo::write(uint64_t offset, const void* buffer, size_t n) {
    if (offset < m_blockOffset + kBlockSize && offset + n > m_blockOffset)
        m_blockBytes = 0;
    return m_file->writeAt(offset, buffer, n);
}

qly::Result PageIo::truncate(uint64_t size) {
    m_blockBytes = 0;
    return m_file->truncate(size);
}

qly::Result PageIo::lockRange(uint64_t offset, uint64_t length, int timeoutSeconds) {
    return qly::lockRangeWaiting(*m_file, offset, length, timeoutSeconds, 2);
}

qly::Result PageIo::stamp(uint64_t& size, int64_t& mtimeNs) {
    qly::ResultOr<qly::FileInfo> info = m_file->info();
    if (!info)
        return info.result();
    size = info.value().size;
    mtimeNs = info.value().mtimeNs;
    return qly::Result::ok();
}

namespace detail {

MemoryPageFiles::MemoryPageFiles(std::vector<uint8_t> bytes, const std::string& name) {
    // The folders of the name, so that a test may give a full path.
    for (size_t slash = name.find('/', 1); slash != std::string::npos;
         slash = name.find('/', slash + 1))
        (void)memory.makeFolder(name.substr(0, slash));
    memory.bytes(name) = std::move(bytes);
    qly::ResultOr<std::unique_ptr<qly::FileHandle>> opened =
        faulty.open(name, qly::OpenMode::ReadWrite);
    handle = std::move(opened.value());
}

}  // namespace detail

MemoryPageIo::MemoryPageIo(std::vector<uint8_t> bytes, const std::string& name)
    : MemoryPageFiles(std::move(bytes), name), PageIo(std::move(handle)) {}

}  // namespace cdx
