#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/cdx/PageCache.h"
#include "engine/cdx/PageIo.h"
#include "engine/cdx/Status.h"
#include "engine/cdx/Tag.h"

// A compound index file (.cdx): an array of 512-byte pages whose pointers
// are byte offsets. Offset 0 holds the compound header, a tag header whose
// tree (the tag directory) maps each tag name, upper case and blank-padded
// to 10 bytes, to the offset of that tag's header. Tags are numbered in
// the order of their header offsets (creation order). New pages are always
// taken at the end of the file; pages no longer used stay where they are.
//
// Changed nodes are kept in memory and written by flush(), close() or the
// destructor; flush(true) also forces them to disk.
namespace cdx {

class IndexFile {
public:
    ~IndexFile();
    IndexFile(const IndexFile&) = delete;
    IndexFile& operator=(const IndexFile&) = delete;

    static Status open(const std::string& path, bool readOnly, std::unique_ptr<IndexFile>& out,
                       qly::FileSystem& fs = qly::FileSystem::posix());
    static Status open(std::unique_ptr<PageIo> io, bool readOnly, std::unique_ptr<IndexFile>& out);
    // Creates (or replaces) a file holding the given tags, all empty.
    static Status create(const std::string& path, const std::vector<TagSpec>& tags, bool structural,
                         std::unique_ptr<IndexFile>& out,
                         qly::FileSystem& fs = qly::FileSystem::posix());
    static Status create(std::unique_ptr<PageIo> io, const std::vector<TagSpec>& tags,
                         bool structural, std::unique_ptr<IndexFile>& out);

    const std::string& fileName() const { return m_io->name(); }
    bool readOnly() const { return m_readOnly; }
    bool structural() const { return (m_directory->options() & kOptStructural) != 0; }

    size_t tagCount() const { return m_tags.size(); }
    Tag& tag(size_t i) { return *m_tags[i]; }
    // Case-insensitive; nullptr when there is no such tag.
    Tag* findTag(std::string_view name);
    // Appends a new empty tag.
    Status addTag(const TagSpec& tagSpec, Tag** out = nullptr);

    // Sharing the file with other writers (our other processes or another
    // program). A change is made between beginChange, which takes the index
    // lock and re-reads what another writer changed, and endChange, which
    // writes the changed pages, counts the change in the compound header
    // and releases the lock.
    Status beginChange(int timeoutSeconds);
    Status endChange();
    // Re-reads the tag headers and forgets every cached page when another
    // writer changed the file since it was last looked at.
    Status refreshIfChanged();

    Status flush(bool sync = false);
    Status close();
    // Checks the directory and every tag.
    Status check();

    // Used by Tag.
    Status readPage(uint32_t offset, uint8_t* page, size_t size = kPageSize);
    Status writeBytes(uint32_t offset, const uint8_t* bytes, size_t size);
    uint32_t allocate(uint32_t pages);
    uint32_t endOffset() const { return m_end; }
    size_t cacheLimit() const { return m_cacheLimit; }
    void setCacheLimit(size_t nodesPerTag) { m_cacheLimit = nodesPerTag; }
    // Memory of decoded nodes each tag keeps at most.
    size_t cacheBytes() const { return m_cacheBytes; }
    void setCacheBytes(size_t bytesPerTag) { m_cacheBytes = bytesPerTag; }

private:
    IndexFile(std::unique_ptr<PageIo> io, bool readOnly);
    Status load();
    static Status validateSpec(const TagSpec& tagSpec);
    // What was seen of the file last: the change counter, size and time.
    struct Seen {
        uint32_t counter = 0;
        uint64_t size = 0;
        int64_t mtimeNs = 0;
        bool operator==(const Seen& o) const {
            return counter == o.counter && size == o.size && mtimeNs == o.mtimeNs;
        }
    };
    Status look(Seen& seen);
    Status reload(const Seen& seen);

    std::unique_ptr<PageIo> m_io;
    PageCache m_pages;  // what was read of the file since another writer changed it
    bool m_readOnly;
    uint32_t m_end = 0;
    uint64_t m_ioSize = 0;  // bytes in the file; only this object writes it
    size_t m_cacheLimit = size_t{1} << 20;
    size_t m_cacheBytes = size_t{64} << 20;
    Seen m_seen;
    bool m_changing = false;
    bool m_unsynced = false;  // written since the last sync
    std::unique_ptr<Tag> m_directory;
    std::vector<std::unique_ptr<Tag>> m_tags;
};

}  // namespace cdx
