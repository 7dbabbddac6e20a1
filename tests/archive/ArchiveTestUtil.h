#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "archive/ByteOrder.h"

namespace qly::archive::test {

using Bytes = std::vector<std::uint8_t>;

// A temporary folder removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "qlyarchXXXXXX").string();
        m_path = ::mkdtemp(tmpl.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

inline void writeFile(const std::string& path, const Bytes& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline void writeText(const std::string& path, const std::string& text) {
    writeFile(path, Bytes(text.begin(), text.end()));
}

inline Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The start of the name of a temporary file made beside path (the part a
// fault of the file system is aimed at).
inline std::string tempBeside(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." + path
                                      : path.substr(0, slash + 1) + "." + path.substr(slash + 1);
}

inline bool exists(const std::string& path) {
    return std::filesystem::exists(path);
}

// Bytes that compress (table-like text) or do not (random).
inline Bytes makeBytes(std::size_t size, std::uint32_t seed, bool compressible) {
    std::mt19937 rng(seed);
    Bytes bytes(size);
    if (compressible) {
        static const char* words[] = {"Desk ", "Chair ", "Copier ",     "Fax Machine ",
                                      "  ",    "0042 ",  "Building A ", "19990101"};
        std::size_t i = 0;
        while (i < size) {
            const char* w = words[rng() % 8];
            for (const char* p = w; *p != '\0' && i < size; ++p) {
                bytes[i++] = static_cast<std::uint8_t>(*p);
            }
        }
    } else {
        for (auto& b : bytes) {
            b = static_cast<std::uint8_t>(rng());
        }
    }
    return bytes;
}

// Builds archive bytes by hand, for crafted and damaged archives.
class ArchiveBuilder {
public:
    ArchiveBuilder& int32(std::int32_t v) {
        std::uint8_t b[4];
        putInt32(b, v);
        m_bytes.insert(m_bytes.end(), b, b + 4);
        return *this;
    }
    ArchiveBuilder& raw(const Bytes& bytes) {
        m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
        return *this;
    }
    ArchiveBuilder& text(const std::string& s) {
        m_bytes.insert(m_bytes.end(), s.begin(), s.end());
        return *this;
    }
    ArchiveBuilder& string(const std::string& s) {
        int32(static_cast<std::int32_t>(s.size()));
        return text(s);
    }
    ArchiveBuilder& header(const std::string& title, std::int32_t total, std::int32_t count) {
        return string(title).int32(total).int32(count);
    }
    ArchiveBuilder& magic() { return raw({'E', 'C', '2', 0}); }
    ArchiveBuilder& storedBlock(const Bytes& data) {
        int32(-static_cast<std::int32_t>(data.size()));
        return raw(data);
    }
    // A member holding `data` in one stored block.
    ArchiveBuilder& member(const std::string& name, std::int32_t stamp, const Bytes& data) {
        string(name).int32(stamp).magic();
        if (!data.empty()) {
            storedBlock(data);
        }
        return int32(0);
    }
    ArchiveBuilder& end() { return int32(0); }
    const Bytes& bytes() const { return m_bytes; }
    void save(const std::string& path) const { writeFile(path, m_bytes); }

private:
    Bytes m_bytes;
};

}  // namespace qly::archive::test
