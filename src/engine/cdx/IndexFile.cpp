#include "engine/cdx/IndexFile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "engine/cdx/Bytes.h"

namespace cdx {

namespace {

constexpr uint32_t kTagNameLength = 10;
constexpr uint32_t kDirectoryRoot = 0x400;
// The index lock byte of FoxPro-compatible engines, and the compound header's
// slot that counts the changes (zero in files written elsewhere; other
// engines ignore it).
constexpr uint64_t kIndexLockOffset = 0x7FFFFFFE;
constexpr uint32_t kChangeCounterOffset = 8;

#define CDX_TRY(expr)       \
    do {                    \
        Status s_ = (expr); \
        if (!s_.isOk())     \
            return s_;      \
    } while (false)

// A failure of the file itself; its text names the file and the cause.
Status failure(const qly::Result& r) {
    return r.code() == qly::ErrorCode::Corrupt ? Status::corrupt(r.message())
                                               : Status::ioError(r.message());
}

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

IndexFile::IndexFile(std::unique_ptr<PageIo> io, bool readOnly)
    : m_io(std::move(io)), m_readOnly(readOnly) {}

IndexFile::~IndexFile() {
    if (!m_readOnly && m_directory)
        flush();
}

Status IndexFile::open(const std::string& path, bool readOnly, std::unique_ptr<IndexFile>& out,
                       qly::FileSystem& fs) {
    qly::ResultOr<std::unique_ptr<PageIo>> io = PageIo::open(fs, path, readOnly, false);
    if (!io)
        return failure(io.result());
    return open(std::move(io.value()), readOnly, out);
}

Status IndexFile::open(std::unique_ptr<PageIo> io, bool readOnly, std::unique_ptr<IndexFile>& out) {
    std::unique_ptr<IndexFile> file(new IndexFile(std::move(io), readOnly));
    CDX_TRY(file->load());
    out = std::move(file);
    return Status::ok();
}

Status IndexFile::load() {
    // The file's size and time first: a change another writer makes while
    // the pages below are read shows at the next look.
    Seen seen;
    if (qly::Result r = m_io->stamp(seen.size, seen.mtimeNs); !r)
        return failure(r);
    const uint64_t size = seen.size;
    m_ioSize = size;
    if (size < kHeaderSize + kPageSize)
        return Status::corrupt(fileName() + ": too short to be a compound index");
    if (size > 0xFFFFF000u)
        return Status::unsupported(fileName() + ": compound index too large");
    m_end = static_cast<uint32_t>((size + kPageSize - 1) / kPageSize * kPageSize);
    m_directory = std::make_unique<Tag>(this, 0);
    CDX_TRY(m_directory->readHeader());
    if ((m_directory->options() & (kOptCompact | kOptCompound)) != (kOptCompact | kOptCompound))
        return Status::unsupported(fileName() + ": not a compact compound index");
    if (!m_directory->machineCollation())
        return Status::corrupt(fileName() + ": the tag directory has a collation");
    m_tags.clear();
    TagPos pos;
    CDX_TRY(m_directory->first(pos));
    std::vector<uint32_t> offsets;
    while (pos.valid()) {
        const uint8_t* key = nullptr;
        uint32_t rec = 0;
        CDX_TRY(m_directory->entryAt(pos, &key, &rec));
        std::string name(reinterpret_cast<const char*>(key), m_directory->keyLength());
        while (!name.empty() && (name.back() == ' ' || name.back() == '\0'))
            name.pop_back();
        if (rec % kPageSize != 0 || rec < kHeaderSize || uint64_t{rec} + kHeaderSize > size)
            return Status::corrupt(fileName() + ": tag " + name +
                                   " has its header outside the file");
        if (std::find(offsets.begin(), offsets.end(), rec) != offsets.end())
            return Status::corrupt(fileName() + ": two tags share one header");
        offsets.push_back(rec);
        auto tag = std::make_unique<Tag>(this, rec);
        tag->m_name = name;
        CDX_TRY(tag->readHeader());
        m_tags.push_back(std::move(tag));
        CDX_TRY(m_directory->next(pos));
    }
    std::sort(m_tags.begin(), m_tags.end(),
              [](const auto& a, const auto& b) { return a->headerOffset() < b->headerOffset(); });
    uint8_t b[4];
    CDX_TRY(readPage(kChangeCounterOffset, b, 4));
    seen.counter = getLe32(b);
    m_seen = seen;
    return Status::ok();
}

Status IndexFile::look(Seen& seen) {
    if (qly::Result r = m_io->stamp(seen.size, seen.mtimeNs); !r)
        return failure(r);
    // Read past the read-ahead: another process may have written the header.
    m_io->forgetReadAhead();
    uint8_t b[4];
    if (seen.size < kChangeCounterOffset + 4)
        return Status::corrupt(fileName() + ": too short to be a compound index");
    if (qly::Result r = m_io->read(kChangeCounterOffset, b, 4); !r)
        return failure(r);
    seen.counter = getLe32(b);
    return Status::ok();
}

Status IndexFile::reload(const Seen& seen) {
    // Only unchanged pages may be forgotten; a writer flushes before unlocking.
    m_io->forgetReadAhead();
    m_pages.clear();
    m_ioSize = seen.size;
    m_end = std::max<uint32_t>(
        m_end, static_cast<uint32_t>((seen.size + kPageSize - 1) / kPageSize * kPageSize));
    CDX_TRY(m_directory->readHeader());
    ++m_directory->m_version;
    for (auto& tag : m_tags) {
        CDX_TRY(tag->readHeader());
        ++tag->m_version;
    }
    m_seen = seen;
    return Status::ok();
}

Status IndexFile::refreshIfChanged() {
    if (m_changing)
        return Status::ok();
    Seen now;
    CDX_TRY(look(now));
    if (now == m_seen)
        return Status::ok();
    CDX_TRY(flush());
    return reload(now);
}

Status IndexFile::beginChange(int timeoutSeconds) {
    if (m_readOnly)
        return Status::invalid(fileName() + ": the index is open read-only");
    if (qly::Result r = m_io->lockRange(kIndexLockOffset, 1, timeoutSeconds); !r) {
        if (r.code() == qly::ErrorCode::Locked)
            return Status::ioError(fileName() + ": the index is locked by another user");
        return failure(r);
    }
    Status s = refreshIfChanged();
    if (!s) {
        m_io->unlockRange(kIndexLockOffset, 1);
        return s;
    }
    m_changing = true;
    return Status::ok();
}

Status IndexFile::endChange() {
    if (!m_changing)
        return Status::ok();
    m_changing = false;
    Status s = flush();
    if (s) {
        uint8_t b[4];
        putLe32(b, m_seen.counter + 1);
        s = writeBytes(kChangeCounterOffset, b, 4);
    }
    if (s)
        s = look(m_seen);
    m_io->unlockRange(kIndexLockOffset, 1);
    return s;
}

Status IndexFile::validateSpec(const TagSpec& tagSpec) {
    const std::string& n = tagSpec.name;
    bool nameOk = !n.empty() && n.size() <= kTagNameLength &&
                  (std::isalpha(static_cast<unsigned char>(n[0])) || n[0] == '_');
    for (char c : n)
        nameOk = nameOk && (std::isalnum(static_cast<unsigned char>(c)) || c == '_');
    if (!nameOk)
        return Status::invalid("\"" + n + "\" is not a valid tag name");
    if (tagSpec.keyLength < 1 || tagSpec.keyLength > kMaxKeyLength)
        return Status::invalid("tag " + n + ": key length must be 1 to 240");
    if (tagSpec.keyExpression.empty())
        return Status::invalid("tag " + n + ": no key expression");
    if (tagSpec.keyExpression.find('\0') != std::string::npos ||
        tagSpec.forExpression.find('\0') != std::string::npos ||
        tagSpec.keyExpression.size() + tagSpec.forExpression.size() + 2 > 512)
        return Status::invalid("tag " + n + ": expressions too long");
    return Status::ok();
}

Status IndexFile::create(const std::string& path, const std::vector<TagSpec>& tags, bool structural,
                         std::unique_ptr<IndexFile>& out, qly::FileSystem& fs) {
    for (const TagSpec& tagSpec : tags)
        CDX_TRY(validateSpec(tagSpec));
    qly::ResultOr<std::unique_ptr<PageIo>> io = PageIo::open(fs, path, false, true);
    if (!io)
        return failure(io.result());
    return create(std::move(io.value()), tags, structural, out);
}

Status IndexFile::create(std::unique_ptr<PageIo> io, const std::vector<TagSpec>& tags,
                         bool structural, std::unique_ptr<IndexFile>& out) {
    for (const TagSpec& tagSpec : tags)
        CDX_TRY(validateSpec(tagSpec));
    std::unique_ptr<IndexFile> file(new IndexFile(std::move(io), false));
    file->m_pages.clear();
    if (qly::Result r = file->m_io->truncate(0); !r)
        return failure(r);
    file->m_ioSize = 0;
    uint8_t header[kHeaderSize];
    TagSpec directory;
    directory.keyLength = kTagNameLength;
    Tag::encodeHeader(
        directory,
        static_cast<uint8_t>(kOptCompact | kOptCompound | (structural ? kOptStructural : 0)),
        kDirectoryRoot, header);
    // The compound header has no expressions: the FOR text starts at 1.
    putLe16(header + 504, 1);
    putLe16(header + 510, 1);
    Node root;
    root.attr = kAttrRoot | kAttrLeaf;
    root.keyLength = kTagNameLength;
    uint8_t page[kPageSize];
    encodeNode(root, 0x20, page);
    CDX_TRY(file->writeBytes(0, header, kHeaderSize));
    CDX_TRY(file->writeBytes(kDirectoryRoot, page, kPageSize));
    file->m_end = kDirectoryRoot + kPageSize;
    file->m_directory = std::make_unique<Tag>(file.get(), 0);
    CDX_TRY(file->m_directory->readHeader());
    for (const TagSpec& tagSpec : tags)
        CDX_TRY(file->addTag(tagSpec));
    CDX_TRY(file->flush());
    out = std::move(file);
    return Status::ok();
}

Tag* IndexFile::findTag(std::string_view name) {
    const std::string wanted = upper(name);
    for (auto& tag : m_tags)
        if (upper(tag->name()) == wanted)
            return tag.get();
    return nullptr;
}

Status IndexFile::addTag(const TagSpec& tagSpec, Tag** out) {
    if (m_readOnly)
        return Status::invalid(fileName() + ": the index is open read-only");
    CDX_TRY(validateSpec(tagSpec));
    if (findTag(tagSpec.name))
        return Status::invalid(fileName() + ": tag " + tagSpec.name + " exists already");
    uint8_t options = kOptCompact | kOptCompound;
    if (tagSpec.unique)
        options |= kOptUnique;
    if (!tagSpec.forExpression.empty())
        options |= kOptFor;
    const uint32_t headerOffset = allocate(2);
    const uint32_t rootOffset = allocate(1);
    uint8_t header[kHeaderSize];
    Tag::encodeHeader(tagSpec, options, rootOffset, header);
    Node root;
    root.attr = kAttrRoot | kAttrLeaf;
    root.keyLength = tagSpec.keyLength;
    uint8_t page[kPageSize];
    encodeNode(root, fillByteFor(tagSpec.keyType), page);
    CDX_TRY(writeBytes(headerOffset, header, kHeaderSize));
    CDX_TRY(writeBytes(rootOffset, page, kPageSize));
    auto tag = std::make_unique<Tag>(this, headerOffset);
    tag->m_name = upper(tagSpec.name);
    CDX_TRY(tag->readHeader());
    tag->setKeyType(tagSpec.keyType);
    const std::string key = characterKey(upper(tagSpec.name), kTagNameLength);
    CDX_TRY(m_directory->insert(reinterpret_cast<const uint8_t*>(key.data()), headerOffset));
    if (out)
        *out = tag.get();
    m_tags.push_back(std::move(tag));
    return Status::ok();
}

Status IndexFile::flush(bool sync) {
    if (m_readOnly)
        return Status::ok();
    CDX_TRY(m_directory->flush());
    for (auto& tag : m_tags)
        CDX_TRY(tag->flush());
    // A close after reads only has nothing to force to disk.
    if (sync && m_unsynced) {
        if (qly::Result r = m_io->sync(); !r)
            return failure(r);
        m_unsynced = false;
    }
    return Status::ok();
}

Status IndexFile::close() {
    return flush(true);
}

Status IndexFile::check() {
    CDX_TRY(m_directory->check());
    for (auto& tag : m_tags)
        if (tag->machineCollation())
            CDX_TRY(tag->check());
    return Status::ok();
}

Status IndexFile::readPage(uint32_t offset, uint8_t* page, size_t size) {
    if (uint64_t{offset} + size > m_ioSize) {
        char at[32];
        std::snprintf(at, sizeof at, "0x%X", offset);
        return Status::corrupt(fileName() + ": index points outside the file (" + at + ")");
    }
    qly::Result failed;
    const bool read =
        m_pages.read(offset, page, size, m_ioSize, [&](uint64_t at, uint8_t* bytes, size_t n) {
            failed = m_io->read(at, bytes, n);
            return failed.isOk();
        });
    if (!failed)
        return failure(failed);
    if (!read)
        return Status::ioError(fileName() + ": cannot be read");
    return Status::ok();
}

Status IndexFile::writeBytes(uint32_t offset, const uint8_t* bytes, size_t size) {
    if (m_readOnly)
        return Status::invalid(fileName() + ": the index is open read-only");
    m_pages.forget(offset, size);
    if (qly::Result r = m_io->write(offset, bytes, size); !r)
        return failure(r);
    m_ioSize = std::max<uint64_t>(m_ioSize, uint64_t{offset} + size);
    m_unsynced = true;
    return Status::ok();
}

uint32_t IndexFile::allocate(uint32_t pages) {
    const uint32_t offset = m_end;
    m_end += pages * kPageSize;
    return offset;
}

}  // namespace cdx
