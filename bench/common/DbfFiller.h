#pragma once

// Fills a freshly created, empty .dbf with generated records in one pass,
// much faster than appending through the engine. fill(record, image) writes
// the fields of one record by name through put(); the image starts blank.
// Shared by the benchmark programs, which make their tables at start.

#include <algorithm>
#include <cstddef>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <utility>

namespace qlybench {

class DbfFiller {
public:
    explicit DbfFiller(const std::string& path) : m_path(path) {
        std::ifstream in(path, std::ios::binary);
        m_header.assign(std::istreambuf_iterator<char>(in), {});
        m_headerLength = byte(8) | (byte(9) << 8);
        m_recordLength = byte(10) | (byte(11) << 8);
        int offset = 1;
        for (std::size_t p = 32; p + 32 <= m_header.size() && m_header[p] != '\x0d'; p += 32) {
            const std::string name(m_header.c_str() + p);
            const int width = byte(p + 16);
            m_fields[name] = {offset, width};
            offset += width;
        }
        m_header.resize(static_cast<std::size_t>(m_headerLength));
    }

    int recordLength() const { return m_recordLength; }

    // Replaces the table's records with count generated ones.
    template <typename Fill>
    void write(long count, Fill fill) {
        std::ofstream out(m_path, std::ios::binary | std::ios::trunc);
        std::string header = m_header;
        for (int k = 0; k < 4; ++k)
            header[4 + k] = static_cast<char>((count >> (8 * k)) & 0xff);
        out.write(header.data(), static_cast<std::streamsize>(header.size()));
        std::string image(static_cast<std::size_t>(m_recordLength), ' ');
        std::string chunk;
        for (long record = 1; record <= count; ++record) {
            std::fill(image.begin(), image.end(), ' ');
            fill(record, image);
            chunk += image;
            if (chunk.size() >= (1u << 20)) {
                out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
                chunk.clear();
            }
        }
        chunk += '\x1a';
        out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    }

    // Writes value into a field of image, cut to the field's width;
    // rightAligned pads on the left as numbers are stored.
    void put(std::string& image, const char* field, const std::string& value,
             bool rightAligned = false) const {
        const auto [offset, width] = m_fields.at(field);
        const std::string v = value.substr(0, static_cast<std::size_t>(width));
        const std::size_t pad = rightAligned ? static_cast<std::size_t>(width) - v.size() : 0;
        image.replace(static_cast<std::size_t>(offset) + pad, v.size(), v);
    }

private:
    int byte(std::size_t at) const { return static_cast<unsigned char>(m_header[at]); }

    std::string m_path;
    std::string m_header;
    int m_headerLength = 0;
    int m_recordLength = 0;
    std::map<std::string, std::pair<int, int>> m_fields;
};

}  // namespace qlybench
