#pragma once

#include <string>
#include <utility>

namespace cdx {

// Result of every operation of the compound-index layer. Nothing in this
// layer throws: a failure carries a code and a readable text that names
// the file and what is wrong with it.
enum class Code {
    Ok,
    NotFound,     // no such key, tag or entry
    IoError,      // the file could not be read or written
    Corrupt,      // the file's structure is damaged (index must be rebuilt)
    Invalid,      // the caller passed something impossible
    Unsupported,  // a valid file feature this layer does not handle
};

class Status {
public:
    Status() = default;
    Status(Code code, std::string message) : m_code(code), m_message(std::move(message)) {}

    static Status ok() { return {}; }
    static Status notFound(std::string m) { return {Code::NotFound, std::move(m)}; }
    static Status ioError(std::string m) { return {Code::IoError, std::move(m)}; }
    static Status corrupt(std::string m) { return {Code::Corrupt, std::move(m)}; }
    static Status invalid(std::string m) { return {Code::Invalid, std::move(m)}; }
    static Status unsupported(std::string m) { return {Code::Unsupported, std::move(m)}; }

    bool isOk() const { return m_code == Code::Ok; }
    explicit operator bool() const { return isOk(); }
    Code code() const { return m_code; }
    const std::string& message() const { return m_message; }

private:
    Code m_code = Code::Ok;
    std::string m_message;
};

}  // namespace cdx
