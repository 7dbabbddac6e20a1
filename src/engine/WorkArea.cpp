#include "engine/WorkArea.h"

#include "engine/IndexSet.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/Dates.h"

namespace qly::engine {

namespace {

constexpr size_t kWindowBytes = 256 * 1024;
constexpr auto kRecheckInterval = std::chrono::milliseconds(50);

std::string trimmed(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

bool parseNumberText(const std::string& text, double& value) {
    std::string t = trimmed(text);
    if (t.empty())
        return false;
    char* end = nullptr;
    value = std::strtod(t.c_str(), &end);
    return end && *end == '\0' && std::isfinite(value);
}

}  // namespace

bool formatNumber(double value, int width, int decimals, char* out) {
    if (!std::isfinite(value) || width < 1)
        return false;
    double scale = std::pow(10.0, decimals);
    double rounded = std::round(value * scale) / scale;
    if (rounded == 0)
        rounded = 0;  // no "-0"
    char buf[400];
    int n = std::snprintf(buf, sizeof buf, "%*.*f", width, decimals, rounded);
    if (n < 0 || n > width)
        return false;
    std::memcpy(out, buf, static_cast<size_t>(n));
    return true;
}

WorkArea::WorkArea(int number, std::string alias, std::unique_ptr<Table> table,
                   const Settings* settings)
    : m_number(number), m_alias(std::move(alias)), m_table(std::move(table)), m_settings(settings) {
    m_indexes = std::make_unique<IndexSet>(*m_table, settings);
    m_record.resize(static_cast<size_t>(m_table->recordLength()));
    m_table->blankRecord(m_record.data());
    // The table has just read its record count.
    m_countGeneration = m_table->writeGeneration();
    m_countChecked = std::chrono::steady_clock::now();
    std::string ignored;
    goTop(ignored);
}

WorkArea::~WorkArea() = default;

void WorkArea::setTurboRead(bool on) {
    m_turbo = on;
    dropWindow();
}

void WorkArea::beginCall() {
    m_staged.reset();  // a move drops a record being built
    // Without turbo read, each call sees what other users wrote since: the
    // read-ahead is dropped when the file changed. Nobody else writes a table
    // opened exclusively.
    if (m_turbo || (m_windowCount == 0 && m_blocks.empty()) ||
        m_table->mode() == Table::Mode::Exclusive)
        return;
    if (m_table->writeGeneration() != m_windowGeneration) {
        dropWindow();  // written through another area of this process
        return;
    }
    // Writes of other processes: the file's size and time, looked at no more
    // often than kRecheckInterval (xBase engines refresh shared reads on an
    // interval too).
    auto now = std::chrono::steady_clock::now();
    if (now - m_windowChecked < kRecheckInterval)
        return;
    m_windowChecked = now;
    int64_t size = 0, mtime = 0;
    if (!m_table->fileStamp(size, mtime) || size != m_windowFileSize || mtime != m_windowFileTime)
        dropWindow();
}

uint32_t WorkArea::windowCapacity() {
    const size_t len = static_cast<size_t>(m_table->recordLength());
    if (m_window.empty())
        m_window.resize(std::max<size_t>(1, kWindowBytes / len) * len);
    return static_cast<uint32_t>(m_window.size() / len);
}

void WorkArea::dropWindow() {
    m_windowCount = 0;
    m_blocks.clear();
    m_blockUse.clear();
    m_blockBytes = 0;
}

const char* WorkArea::fetchBlock(uint32_t recno, uint32_t perBlock, std::string& error) {
    const size_t len = static_cast<size_t>(m_table->recordLength());
    const uint32_t block = (recno - 1) / perBlock;
    auto it = m_blocks.find(block);
    if (it != m_blocks.end()) {
        m_blockUse.splice(m_blockUse.begin(), m_blockUse, it->second.use);
    } else {
        while (!m_blockUse.empty() && m_blockBytes + perBlock * len > kMaxBlockBytes) {
            auto oldest = m_blocks.find(m_blockUse.back());
            m_blockBytes -= oldest->second.records.capacity();
            m_blocks.erase(oldest);
            m_blockUse.pop_back();
        }
        if (m_blocks.empty()) {
            // The file as it is now: beginCall drops the blocks when it changes.
            m_table->fileStamp(m_windowFileSize, m_windowFileTime);
            m_windowChecked = std::chrono::steady_clock::now();
            m_windowGeneration = m_table->writeGeneration();
        }
        std::vector<char> records(static_cast<size_t>(perBlock) * len);
        const uint32_t got = m_table->readRecords(block * perBlock + 1, perBlock, records.data());
        records.resize(static_cast<size_t>(got) * len);
        m_blockBytes += records.capacity();
        m_blockUse.push_front(block);
        it = m_blocks.emplace(block, Block{std::move(records), m_blockUse.begin()}).first;
    }
    const size_t at = static_cast<size_t>(recno - 1 - block * perBlock) * len;
    if (at + len > it->second.records.size()) {
        error = "Cannot read record " + std::to_string(recno) + " of " + m_table->path();
        return nullptr;
    }
    return it->second.records.data() + at;
}

uint32_t WorkArea::readWindow(uint32_t first, uint32_t count) {
    m_table->fileStamp(m_windowFileSize, m_windowFileTime);
    m_windowChecked = std::chrono::steady_clock::now();
    m_windowGeneration = m_table->writeGeneration();
    uint32_t got = m_table->readRecords(first, count, m_window.data());
    m_windowFirst = first;
    m_windowCount = got;
    return got;
}

bool WorkArea::refreshCount(std::string& error) {
    // Shared: other processes' appends are looked for no more often than the
    // read-ahead is rechecked; this process's own writes at once.
    if (m_table->mode() != Table::Mode::Exclusive) {
        const auto now = std::chrono::steady_clock::now();
        const uint64_t generation = m_table->writeGeneration();
        if (generation == m_countGeneration && now - m_countChecked < kRecheckInterval)
            return true;
        m_countGeneration = generation;
        m_countChecked = now;
    }
    uint32_t before = m_table->recordCount();
    if (!m_table->refreshCount(error))
        return false;
    if (m_table->recordCount() != before)
        dropWindow();
    return true;
}

bool WorkArea::visible(const char* image, uint32_t recno) const {
    if (m_settings->deleted && image[0] == '*')
        return false;
    if (m_filter.isValid() && !m_filter.evalBool(RecordView{image, recno}))
        return false;
    return true;
}

void WorkArea::setEof() {
    m_eof = true;
    m_pending = false;
    m_recno = m_table->recordCount() + 1;
    m_table->blankRecord(m_record.data());
}

uint32_t WorkArea::step(uint32_t recno, int direction) {
    if (m_order)
        return direction > 0 ? m_order->next(recno) : m_order->prev(recno);
    if (direction > 0)
        return recno >= m_table->recordCount() ? 0 : recno + 1;
    return recno <= 1 ? 0 : recno - 1;
}

const char* WorkArea::fetch(uint32_t recno, int direction, std::string& error) {
    const size_t len = static_cast<size_t>(m_table->recordLength());
    if (m_windowCount && recno >= m_windowFirst && recno < m_windowFirst + m_windowCount)
        return m_window.data() + (recno - m_windowFirst) * len;
    uint32_t capacity = windowCapacity();
    // In an index order the next record is anywhere: keep whole blocks of
    // records, so that a walk reads each part of the file once.
    if (m_order) {
        // Whole blocks of records pay off only when the order meets records
        // near each other; a record met alone is read alone.
        const uint32_t perBlock = static_cast<uint32_t>(std::max<size_t>(1, kBlockBytes / len));
        const uint32_t block = (recno - 1) / perBlock;
        if (block == m_lastSingleBlock || m_blocks.count(block) != 0)
            return fetchBlock(recno, perBlock, error);
        m_lastSingleBlock = block;
        m_single.resize(len);
        if (!m_table->readRecord(recno, m_single.data(), error))
            return nullptr;
        return m_single.data();
    }
    // The first read is small (an open reads one record); a window that is
    // read on from where the last one ended grows up to the capacity.
    constexpr uint32_t kFirstWindow = 16;
    const bool continuing =
        m_windowCount &&
        (direction < 0 ? recno + 1 == m_windowFirst : recno == m_windowFirst + m_windowCount);
    m_windowRun =
        std::min(capacity, continuing ? std::max(kFirstWindow, m_windowRun * 4) : kFirstWindow);
    uint32_t n = m_windowRun;
    uint32_t first = recno;
    if (direction < 0)
        first = recno > n ? recno - n + 1 : 1;
    uint32_t got = readWindow(first, n);
    if (recno < first || recno >= first + got) {
        dropWindow();
        error = "Cannot read record " + std::to_string(recno) + " of " + m_table->path();
        return nullptr;
    }
    return m_window.data() + (recno - first) * len;
}

bool WorkArea::loadRecord(std::string& error) {
    if (!m_pending)
        return true;
    const char* image = fetch(m_recno, m_pendingDirection, error);
    if (!image) {
        m_table->blankRecord(m_record.data());
        return false;
    }
    std::memcpy(m_record.data(), image, m_record.size());
    m_pending = false;
    return true;
}

bool WorkArea::scan(uint32_t candidate, int direction, uint32_t& found, std::string& error) {
    found = 0;
    uint32_t r = candidate;
    const bool lazy = !needsImage();
    while (r != 0 && r <= m_table->recordCount()) {
        if (lazy) {
            // Every candidate is visible: the image is read when asked for.
            found = r;
            m_pending = true;
            m_pendingDirection = direction;
            return true;
        }
        const char* image = fetch(r, direction, error);
        if (!image)
            return false;
        if (visible(image, r)) {
            std::memcpy(m_record.data(), image, m_record.size());
            m_pending = false;
            found = r;
            return true;
        }
        r = step(r, direction);
    }
    if (m_order && !m_order->error().empty()) {
        error = m_order->error();
        return false;
    }
    return true;
}

bool WorkArea::goTop(std::string& error) {
    beginCall();
    if (!refreshCount(error))
        return false;
    uint32_t found = 0;
    uint32_t start = m_order ? m_order->first() : (m_table->recordCount() ? 1 : 0);
    if (!scan(start, 1, found, error))
        return false;
    if (found) {
        m_recno = found;
        m_bof = m_eof = false;
    } else {
        setEof();
        m_bof = true;
    }
    return true;
}

bool WorkArea::goBottom(std::string& error) {
    beginCall();
    if (!refreshCount(error))
        return false;
    uint32_t found = 0;
    uint32_t start = m_order ? m_order->last() : m_table->recordCount();
    if (!scan(start, -1, found, error))
        return false;
    if (found) {
        m_recno = found;
        m_bof = m_eof = false;
    } else {
        setEof();
        m_bof = true;
    }
    return true;
}

bool WorkArea::skip(long n, std::string& error) {
    beginCall();
    if (n == 0) {
        if (m_eof)
            return true;
        if (!m_table->readRecord(m_recno, m_record.data(), error))
            return false;
        m_pending = false;
        return true;
    }
    if (n > 0) {
        m_bof = false;
        for (long i = 0; i < n && !m_eof; ++i) {
            uint32_t found = 0;
            if (!scan(step(m_recno, 1), 1, found, error))
                return false;
            if (!found) {
                setEof();
                break;
            }
            m_recno = found;
        }
        return true;
    }
    for (long i = 0; i < -n; ++i) {
        uint32_t found = 0;
        if (m_eof) {
            if (!refreshCount(error))
                return false;
            uint32_t start = m_order ? m_order->last() : m_table->recordCount();
            if (!scan(start, -1, found, error))
                return false;
        } else {
            if (!scan(step(m_recno, -1), -1, found, error))
                return false;
        }
        if (!found) {
            // Before the first record: Bof, staying on the first one.
            m_bof = true;
            if (!m_eof) {
                if (!m_table->readRecord(m_recno, m_record.data(), error))
                    return false;
                m_pending = false;
            }
            break;
        }
        m_recno = found;
        m_eof = false;
        m_bof = false;
    }
    return true;
}

bool WorkArea::seekTo(uint32_t candidate, std::string& error) {
    beginCall();
    if (!refreshCount(error))
        return false;
    uint32_t found = 0;
    if (!scan(candidate, 1, found, error))
        return false;
    if (found) {
        m_recno = found;
        m_bof = m_eof = false;
    } else {
        setEof();
        m_bof = m_table->recordCount() == 0;
    }
    return true;
}

void WorkArea::goEof() {
    setEof();
    m_bof = m_table->recordCount() == 0;
}

bool WorkArea::go(uint32_t recno, std::string& error) {
    beginCall();
    if (!refreshCount(error))
        return false;
    if (recno < 1 || recno > m_table->recordCount()) {
        setEof();
        m_bof = m_table->recordCount() == 0;
        error = "Record is out of range: " + std::to_string(recno);
        return false;
    }
    if (!m_table->readRecord(recno, m_record.data(), error))
        return false;
    m_pending = false;
    m_recno = recno;
    m_bof = m_eof = false;
    return true;
}

bool WorkArea::setFilter(const std::string& text, std::string& error) {
    if (trimmed(text).empty()) {
        m_filter = Expression();
        return true;
    }
    Expression e;
    if (!e.compile(text, m_table->fields(), m_settings, error))
        return false;
    if (e.type() != ValueType::Logical) {
        error = "A filter must be a logical expression: " + text;
        return false;
    }
    m_filter = std::move(e);
    return true;
}

bool WorkArea::countVisible(uint32_t& count, std::string& error) {
    beginCall();
    if (!refreshCount(error))
        return false;
    count = 0;
    if (!m_order && !m_filter.isValid() && !m_settings->deleted) {
        count = m_table->recordCount();
        return true;
    }
    if (m_order) {
        const bool images = needsImage();
        for (uint32_t r = m_order->first(); r != 0 && r <= m_table->recordCount();
             r = m_order->next(r)) {
            if (!images) {
                ++count;
                continue;
            }
            const char* image = fetch(r, 1, error);
            if (!image)
                return false;
            if (visible(image, r))
                ++count;
        }
        if (!m_order->error().empty()) {
            error = m_order->error();
            return false;
        }
        return true;
    }
    // Record order: read in whole windows.
    const size_t len = static_cast<size_t>(m_table->recordLength());
    uint32_t capacity = windowCapacity();
    uint32_t total = m_table->recordCount();
    for (uint32_t first = 1; first <= total;) {
        uint32_t got = readWindow(first, capacity);
        if (got == 0) {
            dropWindow();
            error = "Cannot read record " + std::to_string(first) + " of " + m_table->path();
            return false;
        }
        const char* p = m_window.data();
        for (uint32_t i = 0; i < got; ++i, p += len) {
            if (visible(p, first + i))
                ++count;
        }
        first += got;
    }
    return true;
}

bool WorkArea::beginRecord(std::string& error) {
    m_staged.reset();
    m_failure = Failure::Refused;
    if (m_eof || m_recno == 0) {
        m_failure = Failure::NoRecord;
        error = "No current record (end of file)";
        return false;
    }
    if (!m_table->writable()) {
        m_failure = Failure::ReadOnly;
        error = m_table->readOnlyReason();
        return false;
    }
    if (!loadRecord(error))
        return false;
    auto image = std::make_unique<std::vector<char>>(m_record.size());
    if (m_table->mode() == Table::Mode::Shared) {
        // build on the record as it is now, not as we last read it
        if (!m_table->readRecord(m_recno, image->data(), error)) {
            m_failure = Failure::Read;
            return false;
        }
    } else {
        std::memcpy(image->data(), m_record.data(), image->size());
    }
    m_staged = std::move(image);
    return true;
}

bool WorkArea::postRecord(std::string& error) {
    m_failure = Failure::Refused;
    if (!m_staged) {
        error = "No record is being built";
        return false;
    }
    const std::unique_ptr<std::vector<char>> image = std::move(m_staged);
    return change(
        [&image](char* out, std::string&) {
            std::memcpy(out, image->data(), image->size());
            return true;
        },
        error);
}

bool WorkArea::change(const Mutation& mutate, std::string& error) {
    m_failure = Failure::Refused;
    if (m_staged)
        return mutate(m_staged->data(), error);
    if (m_eof || m_recno == 0) {
        m_failure = Failure::NoRecord;
        error = "No current record (end of file)";
        return false;
    }
    if (!m_table->writable()) {
        m_failure = Failure::ReadOnly;
        error = m_table->readOnlyReason();
        return false;
    }
    if (!loadRecord(error))
        return false;
    bool tookLock = false;
    if (m_table->mode() == Table::Mode::Shared && !m_table->isRecordLocked(m_recno)) {
        if (!m_table->lockRecord(m_recno, m_settings->lockTimeout)) {
            m_failure = Failure::Locked;
            error = "Record " + std::to_string(m_recno) + " of " + m_table->path() +
                    " is locked by another user";
            return false;
        }
        tookLock = true;
    }
    std::vector<char> image(m_record.size());
    bool ok = true;
    if (m_table->mode() == Table::Mode::Shared) {
        // Apply the change to the record as it is now, not as we last read it.
        ok = m_table->readRecord(m_recno, image.data(), error);
        if (!ok)
            m_failure = Failure::Read;
    } else {
        std::memcpy(image.data(), m_record.data(), image.size());
    }
    ok = ok && mutate(image.data(), error);
    if (ok && !m_table->writeRecord(m_recno, image.data(), error)) {
        m_failure = Failure::Write;
        ok = false;
    }
    if (ok)
        std::memcpy(m_record.data(), image.data(), image.size());
    if (tookLock)
        m_table->unlockRecord(m_recno);
    dropWindow();
    return ok;
}

int WorkArea::append(std::string& error) {
    std::vector<char> image(m_record.size());
    m_table->blankRecord(image.data());
    uint32_t recno = 0;
    int result = m_table->appendRecord(image.data(), m_settings->lockTimeout, recno, error);
    dropWindow();
    if (result == Table::kAppendOk || result == Table::kAppendIndexFailed) {
        std::memcpy(m_record.data(), image.data(), image.size());
        m_pending = false;
        m_recno = recno;
        m_bof = m_eof = false;
    }
    return result;
}

bool WorkArea::setDeletedFlag(bool deleted, std::string& error) {
    m_failure = Failure::Refused;
    return change(
        [deleted](char* image, std::string&) {
            image[0] = deleted ? '*' : ' ';
            return true;
        },
        error);
}

bool WorkArea::putRecord(const std::string& image, std::string& error) {
    m_failure = Failure::Refused;
    if (image.size() != m_record.size()) {
        error = "Record image has the wrong length (" + std::to_string(image.size()) +
                " instead of " + std::to_string(m_record.size()) + ")";
        return false;
    }
    if (image[0] != ' ' && image[0] != '*') {
        error = "Record image has an invalid deletion flag";
        return false;
    }
    return change(
        [&image](char* out, std::string&) {
            std::memcpy(out, image.data(), image.size());
            return true;
        },
        error);
}

bool WorkArea::replaceText(int index, const std::string& text, std::string& error) {
    m_failure = Failure::Refused;
    const Field& f = m_table->fields()[static_cast<size_t>(index)];
    if (f.isMemoRef())
        return putMemo(index, text, error);
    std::vector<char> value(static_cast<size_t>(f.width), ' ');
    switch (f.type) {
        case 'C': {
            size_t len = text.size();
            while (len > static_cast<size_t>(f.width) && text[len - 1] == ' ')
                --len;
            if (len > static_cast<size_t>(f.width)) {
                error = "Value is too long for field " + f.name + " (" + std::to_string(f.width) +
                        " characters)";
                return false;
            }
            std::memcpy(value.data(), text.data(), len);
            break;
        }
        case 'N':
        case 'F': {
            if (!trimmed(text).empty()) {
                double v = 0;
                if (!parseNumberText(text, v)) {
                    error = "Not a number for field " + f.name + ": " + text;
                    return false;
                }
                if (!formatNumber(v, f.width, f.decimals, value.data())) {
                    error = "Number does not fit field " + f.name + ": " + text;
                    return false;
                }
            }
            break;
        }
        case 'D': {
            std::string t = trimmed(text);
            int32_t julian = 0;
            bool stored = t.size() == 8 && std::all_of(t.begin(), t.end(),
                                                       [](char c) { return c >= '0' && c <= '9'; });
            bool ok = stored ? julianFromStored(t.data(), julian)
                             : parseDate(t, m_settings->datePattern(), m_settings->epoch, julian);
            if (!ok) {
                error = "Invalid date for field " + f.name + ": " + text;
                return false;
            }
            storedFromJulian(julian, value.data());
            break;
        }
        case 'L': {
            std::string t = trimmed(text);
            for (char& c : t)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (t == "T" || t == ".T." || t == "Y" || t == ".Y." || t == "TRUE")
                value[0] = 'T';
            else if (t == "F" || t == ".F." || t == "N" || t == ".N." || t == "FALSE")
                value[0] = 'F';
            else if (t.empty())
                value[0] = ' ';
            else {
                error = "Not a logical value for field " + f.name + ": " + text;
                return false;
            }
            break;
        }
        default:
            error = "Cannot replace field " + f.name;
            return false;
    }
    return change(
        [&](char* image, std::string&) {
            std::memcpy(image + f.offset, value.data(), value.size());
            return true;
        },
        error);
}

bool WorkArea::replaceDate(int index, const std::string& text, const std::string& pattern,
                           std::string& error) {
    m_failure = Failure::Refused;
    const Field& f = m_table->fields()[static_cast<size_t>(index)];
    if (f.type != 'D') {
        error = "Field " + f.name + " is not a date field";
        return false;
    }
    int32_t julian = 0;
    if (!parseDate(text, pattern, m_settings->epoch, julian)) {
        error = "Invalid date for field " + f.name + ": " + text;
        return false;
    }
    char stored[8];
    storedFromJulian(julian, stored);
    return change(
        [&](char* image, std::string&) {
            std::memcpy(image + f.offset, stored, 8);
            return true;
        },
        error);
}

bool WorkArea::replaceDouble(int index, double v, std::string& error) {
    m_failure = Failure::Refused;
    const Field& f = m_table->fields()[static_cast<size_t>(index)];
    if (f.type == 'L')
        return replaceLogical(index, v != 0, error);
    if (f.type != 'N' && f.type != 'F') {
        error = "Field " + f.name + " is not a numeric field";
        return false;
    }
    std::vector<char> value(static_cast<size_t>(f.width), ' ');
    if (!formatNumber(v, f.width, f.decimals, value.data())) {
        error = "Number does not fit field " + f.name;
        return false;
    }
    return change(
        [&](char* image, std::string&) {
            std::memcpy(image + f.offset, value.data(), value.size());
            return true;
        },
        error);
}

bool WorkArea::replaceLogical(int index, bool v, std::string& error) {
    m_failure = Failure::Refused;
    const Field& f = m_table->fields()[static_cast<size_t>(index)];
    if (f.type != 'L') {
        error = "Field " + f.name + " is not a logical field";
        return false;
    }
    return change(
        [&](char* image, std::string&) {
            image[f.offset] = v ? 'T' : 'F';
            return true;
        },
        error);
}

bool WorkArea::putMemo(int index, const std::string& data, std::string& error) {
    m_failure = Failure::Refused;
    const Field& f = m_table->fields()[static_cast<size_t>(index)];
    if (!f.isMemoRef()) {
        error = "Field " + f.name + " is not a memo field";
        return false;
    }
    return change(
        [&](char* image, std::string& err) {
            if (m_table->writeMemo(image, f, data, m_settings->lockTimeout, err))
                return true;
            m_failure = Failure::Write;
            return false;
        },
        error);
}

}  // namespace qly::engine
