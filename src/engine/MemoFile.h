#pragma once

// The memo file of a table.
//
// FPT layout (FoxPro):
//   header, 512 bytes: next free block u32 BE at 0, block size u16 BE at 6
//   memo at block k (byte k * block size): type u32 BE (0 picture, 1 text,
//   2 object), length u32 BE, then the data; padded to the block boundary.
// DBT (dBASE III, read only): 512-byte blocks, no block header, text runs to
//   a 0x1A 0x1A pair.
//
// A changed memo is always written as a new memo at the end of the file, so
// that an interrupted write never damages another record's memo (two records
// may share a block reference after a record image was copied). The next-free
// pointer is written after the data and before the record points at it.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/File.h"

namespace qly::engine {

class MemoFile {
public:
    enum class Kind { Fpt, Dbt };

    static constexpr uint32_t kTypePicture = 0;
    static constexpr uint32_t kTypeText = 1;
    static constexpr uint32_t kTypeObject = 2;

    bool open(const std::string& path, Kind kind, bool writable, std::string& error);
    // Creates an empty FPT with the given block size (bytes).
    static bool create(const std::string& path, int blockSize, std::string& error);
    void close() { m_file.close(); }
    bool isOpen() const { return m_file.isOpen(); }

    // Reads the memo at block (> 0). Errors for references or lengths past the end.
    bool read(uint32_t block, std::string& out, std::string& error) const;
    // Length of the memo at block without reading its data.
    bool length(uint32_t block, uint32_t& length, std::string& error) const;
    // Writes data as a new memo; block receives its number.
    bool write(const std::string& data, uint32_t type, int lockTimeout, uint32_t& block,
               std::string& error);
    // Writes several memos (data, type) as new memos one after another,
    // under one hold of the lock and in one write; blocks receives their
    // numbers. None is written when it fails.
    bool writeMany(const std::vector<std::pair<const std::string*, uint32_t>>& memos,
                   int lockTimeout, std::vector<uint32_t>& blocks, std::string& error);
    bool sync(std::string& error) { return m_file.sync(error); }

    uint32_t blockSize() const { return m_blockSize; }
    Kind kind() const { return m_kind; }
    const std::string& path() const { return m_file.path(); }

private:
    bool readHeader(uint32_t& nextFree, std::string& error) const;

    File m_file;
    Kind m_kind = Kind::Fpt;
    uint32_t m_blockSize = 64;
    bool m_writable = false;
};

}  // namespace qly::engine
