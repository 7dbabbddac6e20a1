#include "engine/File.h"

#include <strings.h>

namespace qly::engine {

namespace {

qly::FileSystem* g_fileSystem = nullptr;

}  // namespace

qly::FileSystem& fileSystem() {
    return g_fileSystem ? *g_fileSystem : qly::FileSystem::posix();
}

void setFileSystem(qly::FileSystem* fs) {
    g_fileSystem = fs;
}

bool File::open(const std::string& path, bool writable, std::string& error, qly::ErrorCode* code) {
    close();
    auto opened =
        fileSystem().open(path, writable ? qly::OpenMode::ReadWrite : qly::OpenMode::Read);
    if (!opened) {
        error = opened.result().message();
        if (code)
            *code = opened.result().code();
        return false;
    }
    m_handle = std::move(opened.value());
    m_path = path;
    return true;
}

bool File::create(const std::string& path, std::string& error) {
    close();
    auto made = fileSystem().open(path, qly::OpenMode::CreateNew);
    if (!made) {
        error = made.result().message();
        return false;
    }
    m_handle = std::move(made.value());
    m_path = path;
    return true;
}

bool File::readAt(uint64_t offset, void* buffer, size_t size, std::string& error) const {
    if (!m_handle) {
        error = "Cannot read " + m_path + ": the file is not open";
        return false;
    }
    qly::Result r = m_handle->readExactly(offset, buffer, size);
    if (!r) {
        error = r.message();
        return false;
    }
    return true;
}

size_t File::readSome(uint64_t offset, void* buffer, size_t size) const {
    if (!m_handle)
        return 0;
    size_t done = 0;
    auto* out = static_cast<char*>(buffer);
    while (done < size) {
        qly::ResultOr<size_t> got = m_handle->readAt(offset + done, out + done, size - done);
        if (!got || got.value() == 0)
            break;
        done += got.value();
    }
    return done;
}

bool File::writeAt(uint64_t offset, const void* data, size_t size, std::string& error) {
    if (!m_handle) {
        error = "Cannot write " + m_path + ": the file is not open";
        return false;
    }
    qly::Result r = m_handle->writeAt(offset, data, size);
    if (!r) {
        error = r.message();
        return false;
    }
    return true;
}

int64_t File::size() const {
    if (!m_handle)
        return -1;
    qly::ResultOr<qly::FileInfo> i = m_handle->info();
    return i ? static_cast<int64_t>(i.value().size) : -1;
}

bool File::stamp(int64_t& size, int64_t& mtimeNs) const {
    if (!m_handle)
        return false;
    qly::ResultOr<qly::FileInfo> i = m_handle->info();
    if (!i)
        return false;
    size = static_cast<int64_t>(i.value().size);
    mtimeNs = i.value().mtimeNs;
    return true;
}

bool File::identity(uint64_t& device, uint64_t& inode) const {
    if (!m_handle)
        return false;
    qly::ResultOr<qly::FileInfo> i = m_handle->info();
    if (!i)
        return false;
    device = i.value().device;
    inode = i.value().inode;
    return true;
}

bool File::sync(std::string& error) {
    if (!m_handle) {
        error = "Cannot sync " + m_path + ": the file is not open";
        return false;
    }
    qly::Result r = m_handle->sync();
    if (!r) {
        error = r.message();
        return false;
    }
    return true;
}

bool File::lockFile(bool exclusive) {
    return m_handle && m_handle->lockFile(exclusive).isOk();
}

bool File::lockRange(uint64_t offset, uint64_t length, int timeoutSeconds) {
    return m_handle && qly::lockRangeWaiting(*m_handle, offset, length, timeoutSeconds, 10).isOk();
}

void File::unlockRange(uint64_t offset, uint64_t length) {
    if (m_handle)
        m_handle->unlockRange(offset, length);
}

std::string folderOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string baseNameOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool hasExtension(const std::string& path) {
    return baseNameOf(path).find('.') != std::string::npos;
}

std::string withExtension(const std::string& path, const std::string& ext) {
    std::string folder = folderOf(path);
    std::string base = baseNameOf(path);
    auto dot = base.find_last_of('.');
    if (dot != std::string::npos)
        base.erase(dot);
    return folder + base + ext;
}

bool fileExists(const std::string& path) {
    return fileSystem().exists(path);
}

void removeFile(const std::string& path) {
    (void)fileSystem().remove(path);
}

std::string resolveFileName(const std::string& path) {
    if (fileExists(path))
        return path;
    const std::string folder = folderOf(path);
    const std::string base = baseNameOf(path);
    qly::ResultOr<std::vector<std::string>> names =
        fileSystem().listFolder(folder.empty() ? "." : folder);
    if (!names)
        return path;
    const std::string* match = nullptr;
    int matches = 0;
    for (const std::string& name : names.value()) {
        if (::strcasecmp(name.c_str(), base.c_str()) == 0) {
            match = &name;
            ++matches;
        }
    }
    // With several names differing only in case none is preferred: the
    // caller sees the name as given (and fails to find it).
    if (matches == 1)
        return folder + *match;
    return path;
}

}  // namespace qly::engine
