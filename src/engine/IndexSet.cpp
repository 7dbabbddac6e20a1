#include "engine/IndexSet.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <unordered_set>

#include "engine/Dates.h"
#include "engine/File.h"
#include "engine/cdx/KeyCodec.h"

namespace qly::engine {

namespace {

std::string upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string trimmed(const std::string& text) {
    size_t b = 0, e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1])))
        --e;
    return text.substr(b, e - b);
}

const uint8_t* bytesOf(const std::string& s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}

cdx::KeyType keyTypeOf(ValueType type) {
    switch (type) {
        case ValueType::Numeric:
            return cdx::KeyType::Numeric;
        case ValueType::Date:
            return cdx::KeyType::Date;
        case ValueType::Logical:
            return cdx::KeyType::Logical;
        case ValueType::Character:
            break;
    }
    return cdx::KeyType::Character;
}

// Index files open in this process, by file identity, so that work areas
// over the same table share one copy of every page.
std::map<std::pair<uint64_t, uint64_t>, std::weak_ptr<cdx::IndexFile>>& openFiles() {
    static std::map<std::pair<uint64_t, uint64_t>, std::weak_ptr<cdx::IndexFile>> files;
    return files;
}

bool identityOf(const std::string& path, std::pair<uint64_t, uint64_t>& id) {
    qly::ResultOr<qly::FileInfo> info = fileSystem().info(path);
    if (!info)
        return false;
    id = {info.value().device, info.value().inode};
    return true;
}

std::shared_ptr<cdx::IndexFile> openShared(
    const std::string& path, std::string& error,
    const std::pair<uint64_t, uint64_t>* identity = nullptr) {
    std::pair<uint64_t, uint64_t> id;
    const bool known = identity ? (id = *identity, true) : identityOf(path, id);
    if (known) {
        auto it = openFiles().find(id);
        if (it != openFiles().end()) {
            if (auto file = it->second.lock())
                return file;
        }
    }
    std::unique_ptr<cdx::IndexFile> file;
    cdx::Status s = cdx::IndexFile::open(path, false, file, fileSystem());
    if (s.code() == cdx::Code::IoError)
        s = cdx::IndexFile::open(path, true, file, fileSystem());
    if (!s) {
        error = s.message();
        return nullptr;
    }
    std::shared_ptr<cdx::IndexFile> shared(std::move(file));
    if (known)
        openFiles()[id] = shared;
    return shared;
}

void forgetShared(const std::string& path) {
    std::pair<uint64_t, uint64_t> id;
    if (identityOf(path, id))
        openFiles().erase(id);
}

std::map<std::string, std::vector<TagDef>>& knownTagMap() {
    static std::map<std::string, std::vector<TagDef>> known;
    return known;
}

std::string fileNameOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return upper(slash == std::string::npos ? path : path.substr(slash + 1));
}

bool validTagName(const std::string& n) {
    bool ok = !n.empty() && n.size() <= 10 &&
              (std::isalpha(static_cast<unsigned char>(n[0])) || n[0] == '_');
    for (char c : n)
        ok = ok && (std::isalnum(static_cast<unsigned char>(c)) || c == '_');
    return ok;
}

bool sameExpression(const std::string& a, const std::string& b) {
    return upper(trimmed(a)) == upper(trimmed(b));
}

// The tags a rebuilt structural index holds: those it has, each under the
// name of the known tag with its name or, when its name was lost, with its
// expressions, then the known tags it lacks.
std::vector<TagDef> planTags(const std::vector<TagDef>& present, const std::vector<TagDef>& known) {
    std::vector<TagDef> out;
    std::vector<bool> used(known.size(), false);
    std::vector<bool> placed(present.size(), false);
    for (size_t i = 0; i < present.size(); ++i) {
        for (size_t k = 0; k < known.size(); ++k) {
            if (!used[k] && upper(present[i].name) == upper(known[k].name)) {
                used[k] = placed[i] = true;
                break;
            }
        }
    }
    for (size_t i = 0; i < present.size(); ++i) {
        TagDef def = present[i];
        for (size_t k = 0; !placed[i] && k < known.size(); ++k) {
            if (!used[k] && sameExpression(def.keyExpression, known[k].keyExpression) &&
                sameExpression(def.forExpression, known[k].forExpression)) {
                def.name = known[k].name;
                used[k] = placed[i] = true;
            }
        }
        if (!validTagName(def.name)) {
            // Neither known nor a name at all: named after its place.
            std::string name = "TAG" + std::to_string(i + 1);
            for (int n = 2; std::any_of(out.begin(), out.end(),
                                        [&](const TagDef& t) { return upper(t.name) == name; });
                 ++n)
                name = "TAG" + std::to_string(i + 1) + "_" + std::to_string(n);
            def.name = name;
        }
        if (std::none_of(out.begin(), out.end(),
                         [&](const TagDef& t) { return upper(t.name) == upper(def.name); }))
            out.push_back(def);
    }
    for (size_t k = 0; k < known.size(); ++k)
        if (!used[k] && std::none_of(out.begin(), out.end(), [&](const TagDef& t) {
                return upper(t.name) == upper(known[k].name);
            }))
            out.push_back(known[k]);
    return out;
}

}  // namespace

void setKnownTags(const std::string& tableFile, std::vector<TagDef> tags) {
    if (tags.empty())
        knownTagMap().erase(fileNameOf(tableFile));
    else
        knownTagMap()[fileNameOf(tableFile)] = std::move(tags);
}

std::vector<TagDef> knownTags(const std::string& tablePath) {
    auto it = knownTagMap().find(fileNameOf(tablePath));
    return it == knownTagMap().end() ? std::vector<TagDef>() : it->second;
}

struct IndexSet::OpenTag {
    cdx::IndexFile* file = nullptr;
    cdx::Tag* tag = nullptr;
    Expression key;
    Expression condition;
    bool hasCondition = false;
    ValueType type = ValueType::Character;
    uint32_t keyLength = 0;
};

// The current order as the work area walks it: a cursor on the tag, kept
// within the scope. Record numbers; 0 = none.
class IndexSet::TagOrder : public RecordOrder {
public:
    TagOrder(IndexSet& set, OpenTag& tag) : m_set(set), m_tag(tag), m_cursor(*tag.tag) {}

    uint32_t first() override {
        m_error.clear();
        if (!m_set.recheck(m_error))
            return 0;
        if (!m_set.m_scoped)
            return take(m_cursor.first());
        const std::string& from = m_tag.tag->descending() ? m_set.m_high : m_set.m_low;
        if (from.empty())
            return take(m_cursor.first());
        return take(m_cursor.seek(bytesOf(from), static_cast<uint32_t>(from.size()), nullptr));
    }
    uint32_t last() override {
        m_error.clear();
        if (!m_set.recheck(m_error))
            return 0;
        if (!m_set.m_scoped)
            return take(m_cursor.last());
        const std::string& to = m_tag.tag->descending() ? m_set.m_low : m_set.m_high;
        if (to.empty())
            return take(m_cursor.last());
        return take(m_cursor.seekLast(bytesOf(to), static_cast<uint32_t>(to.size())));
    }
    uint32_t next(uint32_t recno) override {
        bool exact = false;
        if (!sync(recno, exact))
            return 0;
        return exact ? take(m_cursor.next()) : take(cdx::Status::ok());
    }
    uint32_t prev(uint32_t recno) override {
        bool exact = false;
        if (!sync(recno, exact))
            return 0;
        return take(m_cursor.prev());
    }
    std::string error() const override { return m_error; }

    // Seeks key (search bytes) and returns the landing record within the scope.
    uint32_t seek(const std::string& key, bool& found) {
        m_error.clear();
        found = false;
        if (!m_set.recheck(m_error))
            return 0;
        const uint32_t r =
            take(m_cursor.seek(bytesOf(key), static_cast<uint32_t>(key.size()), &found));
        if (r == 0)
            found = false;
        return r;
    }

private:
    bool inScope() const {
        if (!m_set.m_scoped)
            return true;
        const uint8_t* k = m_cursor.key();
        const std::string& low = m_set.m_low;
        const std::string& high = m_set.m_high;
        if (!low.empty() && std::memcmp(k, low.data(), low.size()) < 0)
            return false;
        if (!high.empty() && std::memcmp(k, high.data(), high.size()) > 0)
            return false;
        return true;
    }
    uint32_t take(const cdx::Status& s) {
        if (!s) {
            m_error = s.message();
            return 0;
        }
        if (!m_cursor.valid() || !inScope())
            return 0;
        const uint32_t rec = m_cursor.recNo();
        if (rec == 0 || rec > m_set.m_table.recordCount()) {
            // Another writer may have appended since the count was read.
            std::string error;
            if (rec != 0 && m_set.m_table.mode() != Table::Mode::Exclusive &&
                !m_set.m_table.refreshCount(error)) {
                m_error = error;
                return 0;
            }
            if (rec == 0 || rec > m_set.m_table.recordCount()) {
                m_error = m_set.badRecordText(m_tag, rec);
                return 0;
            }
        }
        return rec;
    }
    // Puts the cursor on recno's entry (or where it would be).
    bool sync(uint32_t recno, bool& exact) {
        m_error.clear();
        if (!m_set.recheck(m_error))
            return false;
        if (m_cursor.valid() && !m_cursor.stale() && m_cursor.recNo() == recno) {
            exact = true;
            return true;
        }
        std::vector<char> image(static_cast<size_t>(m_set.m_table.recordLength()));
        std::string error;
        if (!m_set.m_table.readRecord(recno, image.data(), error)) {
            m_error = error;
            return false;
        }
        std::string key;
        bool included = false;
        m_set.makeKey(m_tag, image.data(), recno, key, included, true);
        const cdx::Status s = m_cursor.seekEntry(bytesOf(key), recno, &exact);
        if (!s) {
            m_error = s.message();
            return false;
        }
        return true;
    }

    IndexSet& m_set;
    OpenTag& m_tag;
    cdx::Cursor m_cursor;
    std::string m_error;
};

IndexSet::IndexSet(Table& table, const Settings* settings) : m_table(table), m_settings(settings) {}

IndexSet::~IndexSet() {
    if (m_table.observer() == this)
        m_table.setObserver(nullptr);
    std::string error;
    flush(true, error);
}

bool IndexSet::openStructural(std::string& error) {
    if (!(m_table.flags() & Table::kFlagStructuralCdx))
        return true;
    // The name as the table has it is looked at once; other letter cases
    // only when it is not there.
    std::string path = withExtension(m_table.path(), ".cdx");
    std::pair<uint64_t, uint64_t> id;
    if (!identityOf(path, id)) {
        path = resolveFileName(path);
        if (!identityOf(path, id)) {
            error = "The structural index " + path + " of " + m_table.path() + " is missing";
            return false;
        }
    }
    std::shared_ptr<cdx::IndexFile> file = openShared(path, error, &id);
    if (!file)
        return false;
    if (!addFile(std::move(file), error))
        return false;
    for (const TagDef& k : knownTags(m_table.path())) {
        if (orderOf(k.name) == 0) {
            error = "The structural index " + path + " of " + m_table.path() + " lacks its tag " +
                    k.name + ": the index is damaged and must be rebuilt";
            return false;
        }
    }
    return true;
}

int IndexSet::openFile(const std::string& name, std::string& error) {
    std::string path = name;
    if (!hasExtension(path))
        path = withExtension(path, ".cdx");
    if (path.find('/') == std::string::npos)
        path = folderOf(m_table.path()) + path;
    path = resolveFileName(path);
    std::pair<uint64_t, uint64_t> id, have;
    if (identityOf(path, id)) {
        for (auto& f : m_files) {
            if (identityOf(f->fileName(), have) && have == id) {
                // Already open: its first tag's order.
                for (size_t i = 0; i < m_tags.size(); ++i)
                    if (m_tags[i]->file == f.get())
                        return static_cast<int>(i) + 1;
                error = "The index " + path + " has no tags";
                return 0;
            }
        }
    }
    std::shared_ptr<cdx::IndexFile> file = openShared(path, error);
    if (!file)
        return 0;
    const int first = orderCount() + 1;
    if (!addFile(std::move(file), error))
        return 0;
    if (orderCount() < first) {
        error = "The index " + path + " has no tags";
        return 0;
    }
    return first;
}

bool IndexSet::addFile(std::shared_ptr<cdx::IndexFile> file, std::string& error) {
    std::vector<std::unique_ptr<OpenTag>> added;
    for (size_t i = 0; i < file->tagCount(); ++i) {
        cdx::Tag& tag = file->tag(i);
        const std::string where = file->fileName() + " tag " + tag.name();
        if (!tag.machineCollation()) {
            error = where + " uses a collation this engine cannot keep in order";
            return false;
        }
        auto t = std::make_unique<OpenTag>();
        t->file = file.get();
        t->tag = &tag;
        std::string why;
        if (!t->key.compile(tag.keyExpression(), m_table.fields(), m_settings, why)) {
            error = where + ": the key expression " + tag.keyExpression() +
                    " cannot be evaluated: " + why;
            return false;
        }
        t->type = t->key.type();
        t->keyLength = tag.keyLength();
        const uint32_t want =
            t->type == ValueType::Character ? 0 : (t->type == ValueType::Logical ? 1 : 8);
        if (want && want != t->keyLength) {
            error = where + ": the key length " + std::to_string(t->keyLength) +
                    " does not fit the key expression " + tag.keyExpression();
            return false;
        }
        if (tag.hasFor()) {
            if (!t->condition.compile(tag.forExpression(), m_table.fields(), m_settings, why) ||
                t->condition.type() != ValueType::Logical) {
                error = where + ": the FOR expression " + tag.forExpression() +
                        " cannot be evaluated" + (why.empty() ? std::string() : ": " + why);
                return false;
            }
            t->hasCondition = true;
        }
        tag.setKeyType(keyTypeOf(t->type));
        added.push_back(std::move(t));
    }
    for (auto& t : added)
        m_tags.push_back(std::move(t));
    m_files.push_back(std::move(file));
    m_table.setObserver(this);
    return true;
}

void IndexSet::makeKey(OpenTag& tag, const char* image, uint32_t recno, std::string& key,
                       bool& included, bool ignoreCondition) {
    key.resize(tag.keyLength);
    makeKeyInto(tag, image, recno, key.data(), included, ignoreCondition);
}

void IndexSet::makeKeyInto(OpenTag& tag, const char* image, uint32_t recno, char* key,
                           bool& included, bool ignoreCondition) {
    const RecordView view{image, recno};
    included = ignoreCondition || !tag.hasCondition || tag.condition.evalBool(view);
    if (!included)
        return;
    tag.key.evalKey(view, m_scratch);
    const uint32_t L = tag.keyLength;
    switch (tag.type) {
        case ValueType::Character: {
            const size_t n = std::min<size_t>(m_scratch.size(), L);
            std::memcpy(key, m_scratch.data(), n);
            std::memset(key + n, ' ', L - n);
            break;
        }
        case ValueType::Numeric:
        case ValueType::Date: {
            double value = 0;
            if (m_scratch.size() >= sizeof value)
                std::memcpy(&value, m_scratch.data(), sizeof value);
            cdx::encodeNumeric(value, reinterpret_cast<uint8_t*>(key));
            break;
        }
        case ValueType::Logical:
            key[0] = !m_scratch.empty() && (m_scratch[0] == 'T' || m_scratch[0] == 't') ? 'T' : 'F';
            break;
    }
}

bool IndexSet::searchKey(const OpenTag& tag, const std::string& text, bool exact, std::string& key,
                         std::string& error) const {
    switch (tag.type) {
        case ValueType::Character:
            key = text.substr(0, tag.keyLength);
            if (exact)
                key.resize(tag.keyLength, ' ');
            return true;
        case ValueType::Numeric: {
            const std::string t = trimmed(text);
            char* end = nullptr;
            const double value = t.empty() ? 0.0 : std::strtod(t.c_str(), &end);
            if (!t.empty() && (end == nullptr || *end != '\0')) {
                error = "Not a number: " + text;
                return false;
            }
            key = cdx::numericKey(value);
            return true;
        }
        case ValueType::Date: {
            const std::string t = trimmed(text);
            int32_t julian = 0;
            bool ok = false;
            if (t.size() == 8 &&
                std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; }))
                ok = julianFromStored(t.c_str(), julian);
            if (!ok)
                ok = parseDate(t, m_settings->datePattern(), m_settings->epoch, julian);
            if (!ok) {
                error = "Not a date: " + text;
                return false;
            }
            key = cdx::numericKey(julian);
            return true;
        }
        case ValueType::Logical: {
            const std::string t = upper(trimmed(text));
            key = (t == "T" || t == ".T." || t == "Y") ? "T" : "F";
            return true;
        }
    }
    return true;
}

std::string IndexSet::tagName(int order) const {
    if (order < 1 || order > orderCount())
        return {};
    return m_tags[static_cast<size_t>(order - 1)]->tag->name();
}

TagInfo IndexSet::tagInfo(int order, bool countKeys) const {
    TagInfo info;
    if (order < 1 || order > orderCount())
        return info;
    const OpenTag& t = *m_tags[static_cast<size_t>(order - 1)];
    info.file = t.file->fileName();
    info.name = t.tag->name();
    info.keyExpression = t.tag->keyExpression();
    info.forExpression = t.tag->forExpression();
    info.unique = t.tag->unique();
    info.descending = t.tag->descending();
    if (countKeys)
        t.tag->check(&info.keys);
    return info;
}

int IndexSet::orderOf(const std::string& tag) const {
    const std::string wanted = upper(trimmed(tag));
    for (size_t i = 0; i < m_tags.size(); ++i)
        if (upper(m_tags[i]->tag->name()) == wanted)
            return static_cast<int>(i) + 1;
    return 0;
}

bool IndexSet::setOrder(int order, std::string& error) {
    if (order < 0 || order > orderCount()) {
        error = "There is no index order " + std::to_string(order) + " for " + m_table.path();
        return false;
    }
    m_current = order;
    m_scoped = false;
    m_low.clear();
    m_high.clear();
    m_order.reset(order ? new TagOrder(*this, *m_tags[static_cast<size_t>(order - 1)]) : nullptr);
    return true;
}

RecordOrder* IndexSet::order() {
    return m_order.get();
}

bool IndexSet::seek(const std::string& text, uint32_t& recno, bool& found, std::string& error) {
    recno = 0;
    found = false;
    if (!m_order) {
        error = "No index order is set for " + m_table.path();
        return false;
    }
    std::string key;
    if (!searchKey(*m_tags[static_cast<size_t>(m_current - 1)], text, m_settings->exact, key,
                   error))
        return false;
    recno = m_order->seek(key, found);
    if (!m_order->error().empty()) {
        error = m_order->error();
        return false;
    }
    return true;
}

bool IndexSet::keyMatches(const char* image, uint32_t recno, const std::string& text, bool& matches,
                          std::string& error) {
    matches = false;
    if (!m_order)
        return true;
    OpenTag& tag = *m_tags[static_cast<size_t>(m_current - 1)];
    std::string want, have;
    if (!searchKey(tag, text, m_settings->exact, want, error))
        return false;
    bool included = false;
    makeKey(tag, image, recno, have, included, false);
    matches = included && have.compare(0, want.size(), want) == 0;
    return true;
}

bool IndexSet::setScope(const std::string& low, const std::string& high, std::string& error) {
    if (low.empty()) {
        m_scoped = false;
        m_low.clear();
        m_high.clear();
        return true;
    }
    if (!m_order) {
        error = "No index order is set for " + m_table.path();
        return false;
    }
    const OpenTag& tag = *m_tags[static_cast<size_t>(m_current - 1)];
    std::string lowKey, highKey;
    if (!searchKey(tag, low, false, lowKey, error))
        return false;
    if (!high.empty() && !searchKey(tag, high, false, highKey, error))
        return false;
    m_low = lowKey;
    m_high = highKey;
    m_scoped = true;
    return true;
}

bool IndexSet::lowestWithKey(OpenTag& tag, const std::string& key, uint32_t except, uint32_t& found,
                             std::string& error) {
    found = 0;
    const uint32_t total = m_table.recordCount();
    const size_t len = static_cast<size_t>(m_table.recordLength());
    const uint32_t run = static_cast<uint32_t>(std::max<size_t>(1, (256u << 10) / len));
    std::vector<char> buffer(run * len);
    std::string k;
    for (uint32_t first = 1; first <= total;) {
        const uint32_t got =
            m_table.readRecords(first, std::min(run, total - first + 1), buffer.data());
        if (got == 0) {
            error = "Cannot read record " + std::to_string(first) + " of " + m_table.path();
            return false;
        }
        for (uint32_t i = 0; i < got; ++i) {
            if (first + i == except)
                continue;
            bool included = false;
            makeKey(tag, buffer.data() + i * len, first + i, k, included, false);
            if (included && k == key) {
                found = first + i;
                return true;
            }
        }
        first += got;
    }
    return true;
}

namespace {
// As often as the work area re-reads the record count of a shared table.
constexpr auto kIndexRecheckInterval = std::chrono::milliseconds(50);
// An index lock is held only for one record's key changes.
constexpr int kIndexLockSeconds = 10;
}  // namespace

bool IndexSet::beginWrite(std::string& error) {
    m_changing = 0;
    if (m_table.mode() != Table::Mode::Shared)
        return true;
    for (auto& f : m_files) {
        const cdx::Status s = f->beginChange(kIndexLockSeconds);
        if (!s) {
            error = s.message();
            std::string ignored;
            endWrite(ignored);
            return false;
        }
        ++m_changing;
    }
    m_checked = std::chrono::steady_clock::now();
    return true;
}

bool IndexSet::endWrite(std::string& error) {
    bool ok = true;
    for (size_t i = 0; i < m_changing && i < m_files.size(); ++i) {
        const cdx::Status s = m_files[i]->endChange();
        if (!s && ok) {
            error = s.message();
            ok = false;
        }
    }
    m_changing = 0;
    return ok;
}

bool IndexSet::recheck(std::string& error) {
    if (m_table.mode() != Table::Mode::Shared || m_changing)
        return true;
    const auto now = std::chrono::steady_clock::now();
    if (now - m_checked < kIndexRecheckInterval)
        return true;
    m_checked = now;
    for (auto& f : m_files) {
        const cdx::Status s = f->refreshIfChanged();
        if (!s) {
            error = s.message();
            return false;
        }
    }
    return true;
}

bool IndexSet::recordWritten(uint32_t recno, const char* oldImage, const char* newImage,
                             std::string& error) {
    std::string oldKey, newKey;
    bool ok = true;
    auto failed = [&](const std::string& why) {
        if (ok)
            error = why + " (rebuild the indexes of " + m_table.path() + ")";
        ok = false;
    };
    for (auto& t : m_tags) {
        bool wasIn = false, isIn = false;
        if (oldImage)
            makeKey(*t, oldImage, recno, oldKey, wasIn, false);
        makeKey(*t, newImage, recno, newKey, isIn, false);
        if (wasIn && isIn && oldKey == newKey)
            continue;
        cdx::Tag& tag = *t->tag;
        if (!tag.unique()) {
            cdx::Status s;
            if (wasIn)
                s = tag.remove(bytesOf(oldKey), recno);
            if (s && isIn)
                s = tag.insert(bytesOf(newKey), recno);
            if (!s)
                failed(s.message());
            continue;
        }
        // A unique tag holds each key for the lowest record that has it, as
        // a rebuild would.
        if (wasIn) {
            cdx::Status s = tag.remove(bytesOf(oldKey), recno);
            if (s) {
                uint32_t next = 0;
                std::string why;
                if (!lowestWithKey(*t, oldKey, recno, next, why)) {
                    failed(why);
                } else if (next) {
                    s = tag.insert(bytesOf(oldKey), next);
                }
            } else if (s.code() == cdx::Code::NotFound) {
                s = cdx::Status::ok();  // another record holds the key
            }
            if (!s)
                failed(s.message());
        }
        if (isIn) {
            cdx::Cursor cursor(tag);
            bool present = false;
            cdx::Status s = cursor.seek(bytesOf(newKey), t->keyLength, &present);
            if (s && present && cursor.recNo() > recno) {
                const uint32_t holder = cursor.recNo();
                s = tag.remove(bytesOf(newKey), holder);
                present = false;
            }
            if (s && !present)
                s = tag.insert(bytesOf(newKey), recno);
            if (!s)
                failed(s.message());
        }
    }
    return ok;
}

bool IndexSet::flush(bool sync, std::string& error) {
    bool ok = true;
    for (auto& f : m_files) {
        const cdx::Status s = f->flush(sync);
        if (!s && ok) {
            error = s.message();
            ok = false;
        }
    }
    return ok;
}

namespace {

TagDef defOf(const cdx::Tag& tag) {
    return TagDef{tag.name(), tag.keyExpression(), tag.forExpression(), tag.unique(),
                  tag.descending()};
}

}  // namespace

bool IndexSet::canReindex() const {
    return !m_tags.empty() || !knownTags(m_table.path()).empty();
}

bool IndexSet::reindex(std::string& error) {
    if (m_table.mode() != Table::Mode::Exclusive) {
        error = "Re-indexing needs " + m_table.path() + " opened exclusively";
        return false;
    }
    const int current = m_current;
    m_rebuilt.clear();
    const bool haveStructural =
        std::any_of(m_files.begin(), m_files.end(), [](const auto& f) { return f->structural(); });
    const std::vector<TagDef> known = knownTags(m_table.path());
    if (!haveStructural && !known.empty()) {
        // A known table without its structural index gets it back.
        const std::string path = resolveFileName(withExtension(m_table.path(), ".cdx"));
        std::string unsynced;
        if (!writeIndex(m_table, path, true, known, m_settings, unsynced, error))
            return false;
        if (!(m_table.flags() & Table::kFlagStructuralCdx) &&
            !m_table.setFlags(static_cast<uint8_t>(m_table.flags() | Table::kFlagStructuralCdx),
                              error))
            return false;
        std::shared_ptr<cdx::IndexFile> file = openShared(path, error);
        if (!file)
            return false;
        m_files.insert(m_files.begin(), std::move(file));
        if (!unsynced.empty()) {
            error = unsynced;
            return false;
        }
    }
    bool rebuilt = true;
    for (size_t i = haveStructural || known.empty() ? 0 : 1; rebuilt && i < m_files.size(); ++i)
        rebuilt = rebuildFile(i, error);
    if (rebuilt) {
        m_rebuiltGeneration = m_table.writeGeneration();
        m_rebuiltCount = m_table.recordCount();
    } else {
        m_rebuilt.clear();
    }
    // The files were replaced (some of them, when one failed): take their
    // tags afresh.
    std::vector<std::shared_ptr<cdx::IndexFile>> files;
    files.swap(m_files);
    m_order.reset();
    m_tags.clear();
    std::string why;
    for (auto& f : files)
        if (!addFile(std::move(f), rebuilt ? error : why))
            return false;
    if (!rebuilt) {
        setOrder(current <= orderCount() ? current : 0, why);
        return false;
    }
    return setOrder(current <= orderCount() ? current : 0, error);
}

bool IndexSet::rebuildFile(size_t index, std::string& error) {
    std::shared_ptr<cdx::IndexFile> file = m_files[index];
    std::vector<TagDef> defs;
    for (size_t i = 0; i < file->tagCount(); ++i)
        defs.push_back(defOf(file->tag(i)));
    if (file->structural())
        defs = planTags(defs, knownTags(m_table.path()));
    if (defs.empty())
        return true;  // a file without tags is left as it is
    const std::string path = file->fileName();
    file.reset();
    std::string unsynced;
    Digests digests;
    if (!writeIndex(m_table, path, m_files[index]->structural(), defs, m_settings, unsynced, error,
                    &digests))
        return false;
    std::shared_ptr<cdx::IndexFile> reopened = openShared(path, error);
    if (!reopened)
        return false;
    m_files[index] = std::move(reopened);
    m_rebuilt.insert(digests.begin(), digests.end());
    if (!unsynced.empty()) {
        error = unsynced;
        return false;
    }
    return true;
}

bool IndexSet::writeIndex(Table& table, const std::string& path, bool structural,
                          const std::vector<TagDef>& tags, const Settings* settings,
                          std::string& unsynced, std::string& error, Digests* digests) {
    unsynced.clear();
    IndexSet builder(table, settings);
    std::vector<std::unique_ptr<OpenTag>> open;
    std::vector<cdx::TagSpec> tagSpecs;
    for (const TagDef& def : tags) {
        auto t = std::make_unique<OpenTag>();
        std::string why;
        if (!t->key.compile(def.keyExpression, table.fields(), settings, why)) {
            error = "Tag " + def.name + ": the key expression " + def.keyExpression +
                    " cannot be evaluated: " + why;
            return false;
        }
        if (!def.forExpression.empty()) {
            if (!t->condition.compile(def.forExpression, table.fields(), settings, why) ||
                t->condition.type() != ValueType::Logical) {
                error = "Tag " + def.name + ": the FOR expression " + def.forExpression +
                        " cannot be evaluated" + (why.empty() ? std::string() : ": " + why);
                return false;
            }
            t->hasCondition = true;
        }
        t->type = t->key.type();
        cdx::TagSpec tagSpec;
        tagSpec.name = def.name;
        tagSpec.keyExpression = def.keyExpression;
        tagSpec.forExpression = def.forExpression;
        tagSpec.keyType = keyTypeOf(t->type);
        tagSpec.keyLength = t->type == ValueType::Character
                                ? static_cast<uint32_t>(std::clamp(
                                      t->key.width(), 1, static_cast<int>(cdx::kMaxKeyLength)))
                                : (t->type == ValueType::Logical ? 1 : 8);
        tagSpec.unique = def.unique;
        tagSpec.descending = def.descending;
        t->keyLength = tagSpec.keyLength;
        tagSpecs.push_back(tagSpec);
        open.push_back(std::move(t));
    }
    // Every record's keys, read in large runs.
    const uint32_t total = table.recordCount();
    const size_t len = static_cast<size_t>(table.recordLength());
    const uint32_t run = static_cast<uint32_t>(std::max<size_t>(1, (1u << 20) / len));
    std::vector<char> buffer(run * len);
    std::vector<std::string> keys(open.size());
    std::vector<std::vector<uint32_t>> recs(open.size());
    std::vector<size_t> used(open.size(), 0);
    for (size_t i = 0; i < open.size(); ++i) {
        keys[i].resize(static_cast<size_t>(total) * open[i]->keyLength);
        recs[i].reserve(total);
    }
    for (uint32_t first = 1; first <= total;) {
        const uint32_t got =
            table.readRecords(first, std::min(run, total - first + 1), buffer.data());
        if (got == 0) {
            error = "Cannot read record " + std::to_string(first) + " of " + table.path();
            return false;
        }
        for (uint32_t k = 0; k < got; ++k) {
            const char* image = buffer.data() + k * len;
            for (size_t i = 0; i < open.size(); ++i) {
                bool included = false;
                builder.makeKeyInto(*open[i], image, first + k, keys[i].data() + used[i], included,
                                    false);
                if (!included)
                    continue;
                used[i] += open[i]->keyLength;
                recs[i].push_back(first + k);
            }
        }
        first += got;
    }
    for (size_t i = 0; digests && i < open.size(); ++i) {
        if (tagSpecs[i].unique)
            continue;
        KeyDigest& d = (*digests)[{path, upper(tagSpecs[i].name)}];
        const uint8_t* k = bytesOf(keys[i]);
        for (size_t n = 0; n < recs[i].size(); ++n)
            d.add(k + n * open[i]->keyLength, open[i]->keyLength, recs[i][n]);
    }
    // A new file beside the old one, then put in its place.
    const std::string temp = path + ".new";
    std::unique_ptr<cdx::IndexFile> fresh;
    cdx::Status s = cdx::IndexFile::create(temp, tagSpecs, structural, fresh, fileSystem());
    for (size_t i = 0; s && i < open.size(); ++i)
        if (!recs[i].empty())
            s = fresh->tag(i).build(bytesOf(keys[i]), recs[i].data(), recs[i].size());
    if (s)
        s = fresh->close();
    fresh.reset();
    if (!s) {
        removeFile(temp);
        error = s.message();
        return false;
    }
    forgetShared(path);
    if (qly::Result r = fileSystem().rename(temp, path); !r) {
        removeFile(temp);
        error = r.message();
        return false;
    }
    // The new file is in place; a failing folder sync means the rename may
    // not survive a power cut, which the caller hears about.
    const qly::Result synced = fileSystem().syncFolder(qly::folderOfPath(path));
    if (!synced)
        unsynced = synced.message();
    return true;
}

bool IndexSet::rebuildStructural(Table& table, const Settings* settings, std::string& report,
                                 std::string& error) {
    report.clear();
    if (table.mode() != Table::Mode::Exclusive) {
        error = "Re-indexing needs " + table.path() + " opened exclusively";
        return false;
    }
    const std::string path = resolveFileName(withExtension(table.path(), ".cdx"));
    const std::vector<TagDef> known = knownTags(table.path());
    std::vector<TagDef> present;
    std::string why;
    bool readable = false;
    if (fileExists(path)) {
        std::unique_ptr<cdx::IndexFile> file;
        const cdx::Status s = cdx::IndexFile::open(path, true, file, fileSystem());
        if (s) {
            readable = true;
            for (size_t i = 0; readable && i < file->tagCount(); ++i) {
                const cdx::Tag& tag = file->tag(i);
                Expression key, condition;
                std::string cause;
                if (!key.compile(tag.keyExpression(), table.fields(), settings, cause) ||
                    (tag.hasFor() &&
                     !condition.compile(tag.forExpression(), table.fields(), settings, cause))) {
                    why = path + " tag " + tag.name() +
                          ": the expression cannot be evaluated: " + cause;
                    readable = false;
                }
                present.push_back(defOf(tag));
            }
        } else {
            why = s.message();
        }
    } else {
        why = "The structural index " + path + " is missing";
    }
    if (!readable) {
        present.clear();
        if (known.empty()) {
            error = why + "; it cannot be rebuilt, since the tags of " + table.path() +
                    " are not known";
            return false;
        }
    }
    const std::vector<TagDef> tags = planTags(present, known);
    if (tags.empty()) {
        error = path + " has no tags; nothing to rebuild";
        return false;
    }
    std::string unsynced;
    if (!writeIndex(table, path, true, tags, settings, unsynced, error))
        return false;
    if (!unsynced.empty()) {
        error = unsynced;
        return false;
    }
    if (!(table.flags() & Table::kFlagStructuralCdx) &&
        !table.setFlags(static_cast<uint8_t>(table.flags() | Table::kFlagStructuralCdx), error))
        return false;
    std::string names;
    for (const TagDef& t : tags)
        names += (names.empty() ? "" : ", ") + t.name;
    report = readable ? path + " was rebuilt from " + table.path() + " (tags " + names + ")"
                      : path + " could not be used (" + why + ") and was rebuilt from " +
                            table.path() + " with its known tags (" + names + ")";
    return true;
}

namespace {

uint64_t mix(uint64_t h) {
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 33;
    return h;
}

}  // namespace

void IndexSet::KeyDigest::add(const uint8_t* key, size_t length, uint32_t rec) {
    uint64_t h1 = 0x9E3779B97F4A7C15ull ^ rec, h2 = 0xD6E8FEB86659FD93ull + rec;
    size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        uint64_t w = 0;
        std::memcpy(&w, key + i, 8);
        h1 = mix(h1 ^ w);
        h2 = mix(h2 + w * 0x9FB21C651E98DF25ull);
    }
    uint64_t w = length;
    for (size_t k = 0; i < length; ++i, ++k)
        w ^= uint64_t{key[i]} << (8 * (k % 8));
    a += mix(h1 ^ w);
    b += mix(h2 + w);
    ++count;
}

std::string IndexSet::badRecordText(const OpenTag& tag, uint32_t recno) const {
    return tag.file->fileName() + " tag " + tag.tag->name() + ": an entry names record " +
           std::to_string(recno) + ", which " + m_table.path() + " does not have (" +
           std::to_string(m_table.recordCount()) +
           " records); the index is damaged and must be rebuilt";
}

bool IndexSet::verify(std::string& error) {
    // Each tag's digest of what the table gives against the digest of what
    // the tag holds: the records are read once, in large runs, and each tag
    // walked once. Only when they differ are the records looked up one by
    // one, to tell which key is wrong.
    const uint32_t total = m_table.recordCount();
    std::vector<KeyDigest> expected(m_tags.size());
    // Right after a re-index the keys taken from the table then are known:
    // the table is not read again (nobody writes it while it is open
    // exclusively).
    bool known = m_table.mode() == Table::Mode::Exclusive && !m_rebuilt.empty() &&
                 m_rebuiltGeneration == m_table.writeGeneration() && m_rebuiltCount == total;
    for (size_t i = 0; known && i < m_tags.size(); ++i) {
        auto it = m_rebuilt.find({m_tags[i]->file->fileName(), upper(m_tags[i]->tag->name())});
        if (it == m_rebuilt.end())
            known = false;
        else
            expected[i] = it->second;
    }
    const size_t len = static_cast<size_t>(m_table.recordLength());
    const uint32_t run = static_cast<uint32_t>(std::max<size_t>(1, (1u << 20) / len));
    std::vector<char> buffer(known ? 0 : run * len);
    std::vector<std::unordered_set<std::string>> distinct(m_tags.size());
    std::string key;
    // The directory, and no free page in use by a tag.
    for (auto& f : m_files) {
        const cdx::Status s = f->check();
        if (!s) {
            error = s.message();
            return false;
        }
    }
    for (uint32_t first = 1; !known && first <= total;) {
        const uint32_t got =
            m_table.readRecords(first, std::min(run, total - first + 1), buffer.data());
        if (got == 0) {
            error = "Cannot read record " + std::to_string(first) + " of " + m_table.path();
            return false;
        }
        for (uint32_t k = 0; k < got; ++k) {
            const char* image = buffer.data() + k * len;
            for (size_t i = 0; i < m_tags.size(); ++i) {
                OpenTag& t = *m_tags[i];
                bool included = false;
                makeKey(t, image, first + k, key, included, false);
                if (!included)
                    continue;
                // A unique tag holds the lowest record with each key.
                if (t.tag->unique() && !distinct[i].insert(key).second)
                    continue;
                expected[i].add(bytesOf(key), key.size(), first + k);
            }
        }
        first += got;
    }
    for (size_t i = 0; i < m_tags.size(); ++i) {
        OpenTag& t = *m_tags[i];
        uint64_t entries = 0;
        cdx::Status s = t.tag->check(&entries);
        KeyDigest held;
        cdx::TagPos pos;
        if (s)
            s = t.tag->first(pos);
        while (s && pos.valid()) {
            const uint8_t* k = nullptr;
            uint32_t r = 0;
            s = t.tag->entryAt(pos, &k, &r);
            if (s && (r == 0 || r > total)) {
                error = badRecordText(t, r);
                return false;
            }
            if (s) {
                held.add(k, t.tag->keyLength(), r);
                s = t.tag->next(pos);
            }
        }
        if (!s) {
            error = s.message();
            return false;
        }
        if (!(held == expected[i]) || entries != expected[i].count)
            return verifyByRecord(t, entries, error);
    }
    return true;
}

bool IndexSet::verifyByRecord(OpenTag& t, uint64_t entries, std::string& error) {
    const uint32_t total = m_table.recordCount();
    std::vector<char> image(static_cast<size_t>(m_table.recordLength()));
    std::string key;
    const std::string where = t.file->fileName() + " tag " + t.tag->name();
    uint64_t expected = 0;
    std::unordered_set<std::string> distinct;
    for (uint32_t r = 1; r <= total; ++r) {
        if (!m_table.readRecord(r, image.data(), error))
            return false;
        bool included = false;
        makeKey(t, image.data(), r, key, included, false);
        if (!included)
            continue;
        // The lowest record with the key holds it in a unique tag.
        if (t.tag->unique() && !distinct.insert(key).second)
            continue;
        bool found = false;
        const cdx::Status s = t.tag->contains(bytesOf(key), r, &found);
        if (!s) {
            error = s.message();
            return false;
        }
        if (!found) {
            error = where + ": the key of record " + std::to_string(r) + " is missing";
            return false;
        }
        ++expected;
    }
    if (entries != expected) {
        error = where + ": holds " + std::to_string(entries) + " keys where the table gives " +
                std::to_string(expected);
        return false;
    }
    // Every record's key is there and the counts agree: the tag cannot hold
    // anything else.
    return true;
}

bool IndexSet::createStructural(Table& table, const std::vector<TagDef>& tags,
                                const Settings* settings, std::string& error) {
    const std::string path = withExtension(table.path(), ".cdx");
    if (fileExists(resolveFileName(path))) {
        error = "The index " + resolveFileName(path) + " exists already";
        return false;
    }
    std::string unsynced;
    if (!writeIndex(table, path, true, tags, settings, unsynced, error))
        return false;
    if (!unsynced.empty()) {
        removeFile(path);
        error = unsynced;
        return false;
    }
    if (!table.setFlags(static_cast<uint8_t>(table.flags() | Table::kFlagStructuralCdx), error)) {
        removeFile(path);
        return false;
    }
    return true;
}

bool createTable(const std::string& path, const std::vector<Field>& fields,
                 const std::vector<TagDef>& tags, const Settings& settings, std::string& error) {
    if (!Table::create(path, fields, settings.memoBlockSize, error))
        return false;
    if (tags.empty())
        return true;
    std::unique_ptr<Table> table = Table::open(path, Table::Mode::Exclusive, error);
    bool ok = table && IndexSet::createStructural(*table, tags, &settings, error);
    const std::string made = table ? table->path() : path;
    table.reset();
    if (!ok) {
        removeFile(made);
        removeFile(withExtension(made, ".fpt"));
    }
    return ok;
}

}  // namespace qly::engine
