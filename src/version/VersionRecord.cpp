#include "version/VersionRecord.h"

#include <algorithm>
#include <cstdio>
#include <functional>

#include "base/ByteOrder.h"

namespace qly::version {

namespace {

constexpr std::size_t kHeaderSize = 6;  // wLength, wValueLength, wType
constexpr std::uint16_t kTypeBinary = 0;
constexpr std::uint16_t kTypeText = 1;
constexpr char16_t kReplacement = 0xFFFD;

std::size_t align4(std::size_t n) {
    return (n + 3) & ~std::size_t{3};
}

std::string at(std::size_t offset) {
    return " at offset " + std::to_string(offset);
}

// ---- UTF-8 and UTF-16

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Unpaired surrogates become U+FFFD.
std::string utf8FromUtf16(const std::u16string& units) {
    std::string out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            appendUtf8(out, 0x10000 + ((char32_t{u} - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            appendUtf8(out, kReplacement);
        } else {
            appendUtf8(out, u);
        }
    }
    return out;
}

// Malformed sequences become U+FFFD.
std::u16string utf16FromUtf8(std::string_view text) {
    std::u16string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int extra = 0;
        char32_t c = 0;
        if (lead < 0x80) {
            c = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1;
            c = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            c = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3;
            c = lead & 0x07;
        } else {
            out += kReplacement;
            ++i;
            continue;
        }
        bool good = i + static_cast<std::size_t>(extra) < text.size();
        for (int k = 1; good && k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                good = false;
            else
                c = (c << 6) | (next & 0x3F);
        }
        const char32_t smallest[] = {0, 0x80, 0x800, 0x10000};
        if (!good || c < smallest[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out += kReplacement;
            ++i;
            continue;
        }
        i += 1 + extra;
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

bool sameKey(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        };
        return lower(x) == lower(y);
    });
}

// ---- Reading blocks

struct Block {
    std::string key;  // UTF-8
    std::uint16_t type = 0;
    std::size_t valueBegin = 0;
    std::size_t valueBytes = 0;  // what the block holds of the declared value
    std::size_t childrenBegin = 0;
    std::size_t end = 0;
};

// Reads the block at `offset`, which must end by `limit` (at most the size
// of the record).
Result readBlock(std::span<const std::uint8_t> rec, std::size_t offset, std::size_t limit,
                 Block* out) {
    if (offset > limit || limit - offset < kHeaderSize)
        return Result::corrupt("damaged version record: a block header passes its end" +
                               at(offset));
    const std::uint8_t* p = rec.data() + offset;
    const std::uint16_t length = readLe16(p);
    const std::uint16_t valueLength = readLe16(p + 2);
    if (length < kHeaderSize || length > limit - offset)
        return Result::corrupt("damaged version record: a block of " + std::to_string(length) +
                               " bytes where " + std::to_string(limit - offset) + " are left" +
                               at(offset));
    Block block;
    block.end = offset + length;
    block.type = readLe16(p + 4);
    std::u16string key;
    std::size_t pos = offset + kHeaderSize;
    for (;;) {
        if (block.end - pos < 2)
            return Result::corrupt("damaged version record: a key without its end" + at(offset));
        const char16_t unit = readLe16(rec.data() + pos);
        pos += 2;
        if (unit == 0)
            break;
        key += unit;
    }
    block.key = utf8FromUtf16(key);
    block.valueBegin = std::min(align4(pos), block.end);
    const std::size_t available = block.end - block.valueBegin;
    std::size_t bytes = block.type == kTypeText ? std::size_t{valueLength} * 2 : valueLength;
    if (bytes > available) {
        // Writers differ on whether a text's length counts units or bytes;
        // a text takes what its block holds. A binary value must fit.
        if (block.type != kTypeText)
            return Result::corrupt("damaged version record: the value of \"" + block.key +
                                   "\" passes its block" + at(offset));
        bytes = available & ~std::size_t{1};
    }
    block.valueBytes = bytes;
    block.childrenBegin = std::min(align4(block.valueBegin + bytes), block.end);
    *out = std::move(block);
    return Result::ok();
}

// Calls visit for each child of parent until it returns true. A zero length
// where a child would start is padding and ends the list.
Result forEachChild(std::span<const std::uint8_t> rec, const Block& parent,
                    const std::function<bool(const Block&)>& visit) {
    std::size_t pos = parent.childrenBegin;
    while (parent.end - pos >= kHeaderSize && readLe16(rec.data() + pos) != 0) {
        Block child;
        if (Result r = readBlock(rec, pos, parent.end, &child); !r)
            return r;
        if (visit(child))
            return Result::ok();
        pos = std::min(align4(child.end), parent.end);
    }
    return Result::ok();
}

// The root block, named as a record's root is.
Result readRoot(std::span<const std::uint8_t> rec, Block* root) {
    if (Result r = readBlock(rec, 0, rec.size(), root); !r)
        return r;
    if (!sameKey(root->key, kRootKey))
        return Result::corrupt("damaged version record: the root is \"" + root->key + "\", not \"" +
                               kRootKey + "\"");
    return Result::ok();
}

Value valueOf(std::span<const std::uint8_t> rec, const Block& block) {
    Value value;
    value.text = block.type == kTypeText;
    value.bytes = rec.subspan(block.valueBegin, block.valueBytes);
    if (!value.text) {
        value.length = block.valueBytes;
        return value;
    }
    const std::size_t units = block.valueBytes / 2;
    std::size_t n = 0;
    while (n < units && readLe16(value.bytes.data() + 2 * n) != 0)
        ++n;
    value.length = n < units ? n + 1 : units;
    value.bytes = value.bytes.first(value.length * 2);
    return value;
}

// ---- Writing blocks

class Writer {
public:
    // Starts a block (on a 4-byte boundary) and writes its key and value;
    // children follow until end() is called with the returned offset.
    std::size_t begin(std::string_view key, std::uint16_t type, std::uint16_t valueLength,
                      std::span<const std::uint8_t> value) {
        pad();
        const std::size_t start = m_out.size();
        put16(0);
        put16(valueLength);
        put16(type);
        for (char16_t unit : utf16FromUtf8(key))
            put16(unit);
        put16(0);
        pad();
        m_out.insert(m_out.end(), value.begin(), value.end());
        return start;
    }

    void end(std::size_t start) {
        const std::size_t length = m_out.size() - start;
        if (length > kMaxRecordSize) {
            m_tooLong = true;
            return;
        }
        writeLe16(m_out.data() + start, static_cast<std::uint16_t>(length));
    }

    bool tooLong() const { return m_tooLong || m_out.size() > kMaxRecordSize; }
    std::vector<std::uint8_t> take() { return std::move(m_out); }

private:
    void put16(std::uint16_t v) {
        m_out.push_back(static_cast<std::uint8_t>(v));
        m_out.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    void pad() {
        while (m_out.size() % 4 != 0)
            m_out.push_back(0);
    }

    std::vector<std::uint8_t> m_out;
    bool m_tooLong = false;
};

}  // namespace

bool parseVersionNumber(std::string_view text, std::uint32_t* ms, std::uint32_t* ls) {
    std::uint32_t parts[4] = {0, 0, 0, 0};
    int count = 0;
    std::size_t i = 0;
    while (true) {
        if (count == 4 || i >= text.size() || text[i] < '0' || text[i] > '9')
            return false;
        std::uint32_t number = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            number = number * 10 + static_cast<std::uint32_t>(text[i] - '0');
            if (number > 0xFFFF)
                return false;
            ++i;
        }
        parts[count++] = number;
        if (i == text.size())
            break;
        if (text[i] != '.')
            return false;
        ++i;
    }
    *ms = (parts[0] << 16) | parts[1];
    *ls = (parts[2] << 16) | parts[3];
    return true;
}

std::string formatVersionNumber(std::uint32_t ms, std::uint32_t ls) {
    return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." +
           std::to_string(ls >> 16) + "." + std::to_string(ls & 0xFFFF);
}

std::string langCharsetText(const Translation& translation) {
    char text[9];
    std::snprintf(text, sizeof text, "%04X%04X", unsigned{translation.language},
                  unsigned{translation.codePage});
    return text;
}

ResultOr<std::vector<std::uint8_t>> buildRecord(const VersionRecord& record) {
    Writer w;
    std::uint8_t fixed[kFixedPartSize];
    const FixedInfo& f = record.fixed;
    const std::uint32_t words[] = {kFixedSignature,
                                   kFixedStructVersion,
                                   f.fileVersionMS,
                                   f.fileVersionLS,
                                   f.productVersionMS,
                                   f.productVersionLS,
                                   f.flagsMask,
                                   f.flags,
                                   f.os,
                                   f.type,
                                   f.subtype,
                                   f.dateMS,
                                   f.dateLS};
    for (std::size_t i = 0; i < std::size(words); ++i)
        writeLe32(fixed + 4 * i, words[i]);
    const std::span<const std::uint8_t> fixedPart =
        record.hasFixed ? std::span<const std::uint8_t>(fixed) : std::span<const std::uint8_t>();
    const std::size_t root =
        w.begin(kRootKey, kTypeBinary, static_cast<std::uint16_t>(fixedPart.size()), fixedPart);
    if (!record.stringTables.empty()) {
        const std::size_t info = w.begin(kStringFileInfoKey, kTypeText, 0, {});
        for (const StringTable& table : record.stringTables) {
            const std::size_t block = w.begin(table.langCharset, kTypeText, 0, {});
            for (const StringEntry& entry : table.entries) {
                std::u16string units = utf16FromUtf8(entry.value);
                units += char16_t{0};
                if (units.size() > kMaxRecordSize)
                    return Result::invalid("the version entry \"" + entry.key + "\" is too long");
                std::vector<std::uint8_t> bytes(units.size() * 2);
                for (std::size_t i = 0; i < units.size(); ++i)
                    writeLe16(bytes.data() + 2 * i, units[i]);
                w.end(
                    w.begin(entry.key, kTypeText, static_cast<std::uint16_t>(units.size()), bytes));
            }
            w.end(block);
        }
        w.end(info);
    }
    if (!record.translations.empty()) {
        const std::size_t info = w.begin(kVarFileInfoKey, kTypeText, 0, {});
        std::vector<std::uint8_t> list(record.translations.size() * 4);
        if (list.size() > kMaxRecordSize)
            return Result::invalid("the version record's translation list is too long");
        for (std::size_t i = 0; i < record.translations.size(); ++i) {
            writeLe16(list.data() + 4 * i, record.translations[i].language);
            writeLe16(list.data() + 4 * i + 2, record.translations[i].codePage);
        }
        w.end(w.begin(kTranslationKey, kTypeBinary, static_cast<std::uint16_t>(list.size()), list));
        w.end(info);
    }
    w.end(root);
    if (w.tooLong())
        return Result::invalid("the version record would pass 65,535 bytes");
    return w.take();
}

ResultOr<std::size_t> rootLength(std::span<const std::uint8_t> bytes) {
    Block root;
    if (Result r = readRoot(bytes, &root); !r)
        return r;
    return root.end;
}

ResultOr<VersionRecord> parseRecord(std::span<const std::uint8_t> bytes) {
    Block root;
    if (Result r = readRoot(bytes, &root); !r)
        return r;

    VersionRecord record;
    record.hasFixed = root.valueBytes > 0;
    if (record.hasFixed) {
        const std::uint8_t* p = bytes.data() + root.valueBegin;
        if (root.valueBytes < kFixedPartSize || readLe32(p) != kFixedSignature)
            return Result::corrupt("damaged version record: the fixed part is damaged");
        FixedInfo& f = record.fixed;
        std::uint32_t* const fields[] = {&f.fileVersionMS,
                                         &f.fileVersionLS,
                                         &f.productVersionMS,
                                         &f.productVersionLS,
                                         &f.flagsMask,
                                         &f.flags,
                                         &f.os,
                                         &f.type,
                                         &f.subtype,
                                         &f.dateMS,
                                         &f.dateLS};
        for (std::size_t i = 0; i < std::size(fields); ++i)
            *fields[i] = readLe32(p + 8 + 4 * i);
    }

    Result failure;
    const auto keep = [&failure](Result r) {
        if (!r && failure)
            failure = std::move(r);
    };
    keep(forEachChild(bytes, root, [&](const Block& info) {
        if (sameKey(info.key, kStringFileInfoKey)) {
            keep(forEachChild(bytes, info, [&](const Block& table) {
                StringTable strings{table.key, {}};
                keep(forEachChild(bytes, table, [&](const Block& entry) {
                    strings.entries.push_back({entry.key, textOf(valueOf(bytes, entry))});
                    return false;
                }));
                record.stringTables.push_back(std::move(strings));
                return false;
            }));
        } else if (sameKey(info.key, kVarFileInfoKey)) {
            keep(forEachChild(bytes, info, [&](const Block& var) {
                if (!sameKey(var.key, kTranslationKey))
                    return false;
                const std::uint8_t* p = bytes.data() + var.valueBegin;
                for (std::size_t i = 0; i + 4 <= var.valueBytes; i += 4)
                    record.translations.push_back({readLe16(p + i), readLe16(p + i + 2)});
                return false;
            }));
        }
        return false;
    }));
    if (!failure)
        return failure;
    return record;
}

ResultOr<Value> queryValue(std::span<const std::uint8_t> bytes, std::string_view subBlock) {
    Block block;
    if (Result r = readBlock(bytes, 0, bytes.size(), &block); !r)
        return r;
    std::size_t pos = 0;
    while (pos < subBlock.size()) {
        const std::size_t next = std::min(subBlock.find('\\', pos), subBlock.size());
        const std::string_view key = subBlock.substr(pos, next - pos);
        pos = next + 1;
        if (key.empty())
            continue;
        bool found = false;
        Block child;
        Result r = forEachChild(bytes, block, [&](const Block& candidate) {
            if (!sameKey(candidate.key, key))
                return false;
            child = candidate;
            found = true;
            return true;
        });
        if (!r)
            return r;
        if (!found)
            return Result::notFound("the version record has no \"" + std::string(subBlock) + "\"");
        block = std::move(child);
    }
    return valueOf(bytes, block);
}

std::string textOf(const Value& value) {
    std::u16string units;
    for (std::size_t i = 0; i + 1 < value.bytes.size(); i += 2) {
        const char16_t unit = readLe16(value.bytes.data() + i);
        if (unit == 0)
            break;
        units += unit;
    }
    return utf8FromUtf16(units);
}

}  // namespace qly::version
