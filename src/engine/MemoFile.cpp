#include "engine/MemoFile.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/Bytes.h"

namespace qly::engine {

namespace {
constexpr uint32_t kHeaderSize = 512;
constexpr uint64_t kLockOffset = 0x7FFFFFFE;  // lock byte of the memo file's header
}  // namespace

bool MemoFile::open(const std::string& path, Kind kind, bool writable, std::string& error) {
    m_kind = kind;
    m_writable = writable && kind == Kind::Fpt;
    if (!m_file.open(path, m_writable, error))
        return false;
    unsigned char header[8];
    if (!m_file.readAt(0, header, sizeof header, error)) {
        error = "Memo file is truncated: " + path;
        m_file.close();
        return false;
    }
    if (kind == Kind::Dbt) {
        m_blockSize = 512;
        return true;
    }
    m_blockSize = readBe16(header + 6);
    if (m_blockSize == 0) {
        error = "Memo file has an invalid block size: " + path;
        m_file.close();
        return false;
    }
    return true;
}

bool MemoFile::create(const std::string& path, int blockSize, std::string& error) {
    File f;
    if (!f.create(path, error))
        return false;
    std::vector<unsigned char> header(kHeaderSize, 0);
    uint32_t firstFree =
        (kHeaderSize + static_cast<uint32_t>(blockSize) - 1) / static_cast<uint32_t>(blockSize);
    writeBe32(header.data(), firstFree);
    writeBe16(header.data() + 6, static_cast<uint16_t>(blockSize));
    size_t fileSize = static_cast<size_t>(firstFree) * static_cast<size_t>(blockSize);
    if (fileSize > header.size())
        header.resize(fileSize, 0);
    return f.writeAt(0, header.data(), header.size(), error);
}

bool MemoFile::readHeader(uint32_t& nextFree, std::string& error) const {
    unsigned char header[8];
    if (!m_file.readAt(0, header, sizeof header, error))
        return false;
    nextFree = m_kind == Kind::Fpt ? readBe32(header) : readLe32(header);
    return true;
}

bool MemoFile::length(uint32_t block, uint32_t& len, std::string& error) const {
    if (m_kind == Kind::Dbt) {
        std::string data;
        if (!read(block, data, error))
            return false;
        len = static_cast<uint32_t>(data.size());
        return true;
    }
    int64_t fileSize = m_file.size();
    uint64_t offset = static_cast<uint64_t>(block) * m_blockSize;
    if (block * static_cast<uint64_t>(m_blockSize) < kHeaderSize || fileSize < 0 ||
        offset + 8 > static_cast<uint64_t>(fileSize)) {
        error = "Memo reference " + std::to_string(block) + " is past the end of the memo file " +
                path();
        return false;
    }
    unsigned char head[8];
    if (!m_file.readAt(offset, head, sizeof head, error))
        return false;
    len = readBe32(head + 4);
    if (offset + 8 + len > static_cast<uint64_t>(fileSize)) {
        error = "Memo at block " + std::to_string(block) + " runs past the end of the memo file " +
                path();
        return false;
    }
    return true;
}

bool MemoFile::read(uint32_t block, std::string& out, std::string& error) const {
    out.clear();
    if (m_kind == Kind::Dbt) {
        int64_t fileSize = m_file.size();
        uint64_t offset = static_cast<uint64_t>(block) * 512;
        if (block == 0 || fileSize < 0 || offset >= static_cast<uint64_t>(fileSize)) {
            error = "Memo reference " + std::to_string(block) +
                    " is past the end of the memo file " + path();
            return false;
        }
        char buf[512];
        while (offset < static_cast<uint64_t>(fileSize)) {
            size_t n = m_file.readSome(offset, buf, sizeof buf);
            if (n == 0)
                break;
            for (size_t i = 0; i < n; ++i) {
                if (buf[i] == 0x1A) {
                    return true;  // end mark (a single 0x1A ends it too)
                }
                out += buf[i];
            }
            offset += n;
        }
        return true;
    }
    // One read brings the head and, mostly, the whole memo; the rest of a
    // longer one follows in a second. No size query: a short read tells.
    const uint64_t offset = static_cast<uint64_t>(block) * m_blockSize;
    char first[512];
    const size_t got = offset < kHeaderSize ? 0 : m_file.readSome(offset, first, sizeof first);
    if (got < 8) {
        error = "Memo reference " + std::to_string(block) + " is past the end of the memo file " +
                path();
        return false;
    }
    const uint32_t len = readBe32(reinterpret_cast<const unsigned char*>(first) + 4);
    const size_t inFirst = std::min<size_t>(len, got - 8);
    out.assign(first + 8, inFirst);
    if (inFirst < len) {
        // A damaged length must not make a huge buffer: the file's size says.
        const int64_t fileSize = m_file.size();
        if (got < sizeof first || fileSize < 0 ||
            offset + 8 + len > static_cast<uint64_t>(fileSize)) {
            out.clear();
            error = "Memo at block " + std::to_string(block) +
                    " runs past the end of the memo file " + path();
            return false;
        }
        out.resize(len);
        const size_t rest = len - inFirst;
        if (m_file.readSome(offset + got, out.data() + inFirst, rest) != rest) {
            out.clear();
            error = "Memo at block " + std::to_string(block) +
                    " runs past the end of the memo file " + path();
            return false;
        }
    }
    return true;
}

bool MemoFile::write(const std::string& data, uint32_t type, int lockTimeout, uint32_t& block,
                     std::string& error) {
    if (!m_writable) {
        error = "Memo file is read-only: " + path();
        return false;
    }
    if (data.size() > 0xFFFFFFF0u) {
        error = "Memo is too long";
        return false;
    }
    // Another process appending at the same time would pick the same block.
    if (!m_file.lockRange(kLockOffset, 1, lockTimeout)) {
        error = "Memo file is locked by another user: " + path();
        return false;
    }
    bool ok = false;
    do {
        uint32_t nextFree = 0;
        if (!readHeader(nextFree, error))
            break;
        int64_t fileSize = m_file.size();
        if (fileSize < 0) {
            error = "Cannot read the size of " + path();
            break;
        }
        // Never write over anything already in the file, whatever the header says.
        uint64_t firstBlock = (kHeaderSize + m_blockSize - 1) / m_blockSize;
        uint64_t endBlock = (static_cast<uint64_t>(fileSize) + m_blockSize - 1) / m_blockSize;
        uint64_t start = std::max<uint64_t>({nextFree, firstBlock, endBlock});
        uint64_t total = 8 + data.size();
        uint64_t blocks = (total + m_blockSize - 1) / m_blockSize;
        if (start + blocks > 0xFFFFFFFFull) {
            error = "Memo file is full: " + path();
            break;
        }
        std::vector<char> buffer(blocks * m_blockSize, 0);
        writeBe32(reinterpret_cast<unsigned char*>(buffer.data()), type);
        writeBe32(reinterpret_cast<unsigned char*>(buffer.data()) + 4,
                  static_cast<uint32_t>(data.size()));
        if (!data.empty())
            std::memcpy(buffer.data() + 8, data.data(), data.size());
        if (!m_file.writeAt(start * m_blockSize, buffer.data(), buffer.size(), error))
            break;
        unsigned char head[4];
        writeBe32(head, static_cast<uint32_t>(start + blocks));
        if (!m_file.writeAt(0, head, sizeof head, error))
            break;
        block = static_cast<uint32_t>(start);
        ok = true;
    } while (false);
    m_file.unlockRange(kLockOffset, 1);
    return ok;
}

bool MemoFile::writeMany(const std::vector<std::pair<const std::string*, uint32_t>>& memos,
                         int lockTimeout, std::vector<uint32_t>& blocks, std::string& error) {
    blocks.clear();
    if (memos.empty())
        return true;
    if (!m_writable) {
        error = "Memo file is read-only: " + path();
        return false;
    }
    for (const auto& [data, type] : memos) {
        if (data->size() > 0xFFFFFFF0u) {
            error = "Memo is too long";
            return false;
        }
    }
    // Another process appending at the same time would pick the same blocks.
    if (!m_file.lockRange(kLockOffset, 1, lockTimeout)) {
        error = "Memo file is locked by another user: " + path();
        return false;
    }
    bool ok = false;
    do {
        uint32_t nextFree = 0;
        if (!readHeader(nextFree, error))
            break;
        const int64_t fileSize = m_file.size();
        if (fileSize < 0) {
            error = "Cannot read the size of " + path();
            break;
        }
        // Never write over anything already in the file, whatever the header says.
        const uint64_t firstBlock = (kHeaderSize + m_blockSize - 1) / m_blockSize;
        const uint64_t endBlock = (static_cast<uint64_t>(fileSize) + m_blockSize - 1) / m_blockSize;
        const uint64_t start = std::max<uint64_t>({nextFree, firstBlock, endBlock});
        uint64_t total = 0;
        for (const auto& [data, type] : memos)
            total += (8 + data->size() + m_blockSize - 1) / m_blockSize;
        if (start + total > 0xFFFFFFFFull) {
            error = "Memo file is full: " + path();
            break;
        }
        std::vector<char> buffer(total * m_blockSize, 0);
        uint64_t at = 0;
        for (const auto& [data, type] : memos) {
            auto* p = reinterpret_cast<unsigned char*>(buffer.data()) + at * m_blockSize;
            writeBe32(p, type);
            writeBe32(p + 4, static_cast<uint32_t>(data->size()));
            if (!data->empty())
                std::memcpy(p + 8, data->data(), data->size());
            blocks.push_back(static_cast<uint32_t>(start + at));
            at += (8 + data->size() + m_blockSize - 1) / m_blockSize;
        }
        if (!m_file.writeAt(start * m_blockSize, buffer.data(), buffer.size(), error))
            break;
        unsigned char head[4];
        writeBe32(head, static_cast<uint32_t>(start + total));
        if (!m_file.writeAt(0, head, sizeof head, error))
            break;
        ok = true;
    } while (false);
    m_file.unlockRange(kLockOffset, 1);
    if (!ok)
        blocks.clear();
    return ok;
}

}  // namespace qly::engine
