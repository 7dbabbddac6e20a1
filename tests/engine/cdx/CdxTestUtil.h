#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/cdx/Cursor.h"
#include "engine/cdx/IndexFile.h"

// Helpers shared by the compound-index tests.
namespace cdxtest {

inline std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

inline std::string fixture(const std::string& name) {
    return std::string(QLY_FIXTURES_DIR) + "/foxpro/" + name;
}

// Just enough of a .dbf reader to know what the fixture indexes must hold.
struct DbfTable {
    struct Field {
        std::string name;
        char type;
        uint32_t offset;
        uint32_t length;
    };
    std::vector<Field> fields;
    std::vector<std::string> records;  // raw record images, deletion flag first

    std::string value(size_t rec, const std::string& field) const {
        for (const Field& f : fields)
            if (f.name == field)
                return records[rec].substr(f.offset, f.length);
        return {};
    }
    const Field* field(const std::string& name) const {
        for (const Field& f : fields)
            if (f.name == name)
                return &f;
        return nullptr;
    }
};

inline DbfTable readDbf(const std::string& path) {
    const std::vector<uint8_t> b = readFile(path);
    DbfTable t;
    const uint32_t count = b[4] | (b[5] << 8) | (b[6] << 16) | (uint32_t{b[7]} << 24);
    const uint32_t headerLength = b[8] | (b[9] << 8);
    const uint32_t recordLength = b[10] | (b[11] << 8);
    uint32_t offset = 1;
    for (size_t p = 32; p + 32 <= b.size() && b[p] != 0x0D; p += 32) {
        std::string name(reinterpret_cast<const char*>(&b[p]), 11);
        name.resize(name.find('\0') == std::string::npos ? 11 : name.find('\0'));
        t.fields.push_back({name, static_cast<char>(b[p + 11]), offset, b[p + 16]});
        offset += b[p + 16];
    }
    for (uint32_t r = 0; r < count; ++r)
        t.records.emplace_back(reinterpret_cast<const char*>(&b[headerLength + r * recordLength]),
                               recordLength);
    return t;
}

inline const uint8_t* bytes(const std::string& s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}

// Every (key, record) of a tag in its order.
inline cdx::Status walk(cdx::Tag& tag, std::vector<std::pair<std::string, uint32_t>>& out) {
    out.clear();
    cdx::Cursor c(tag);
    cdx::Status s = c.first();
    size_t guard = 0;
    while (s.isOk() && c.valid()) {
        out.emplace_back(std::string(reinterpret_cast<const char*>(c.key()), tag.keyLength()),
                         c.recNo());
        if (++guard > 10'000'000)
            return cdx::Status::corrupt("walk does not end");
        s = c.next();
    }
    return s;
}

}  // namespace cdxtest
