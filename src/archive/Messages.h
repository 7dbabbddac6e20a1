#pragma once

// The texts the archive engine reports, each in one place.
namespace qly::archive {

// Error codes recorded by Backup and Restore and reported at their end.
constexpr int kErrNone = 0;
constexpr int kErrCannotReadFile = 1;
constexpr int kErrOverwriteFailed = 2;
constexpr int kErrCannotReadArchive = 3;
constexpr int kErrCannotWriteArchive = 4;
constexpr int kErrInvalidArchiveType = 5;
constexpr int kErrCompression = 6;
constexpr int kErrTempFile = 7;

constexpr const char* kMsgCannotReadFile = "Cannot read file";
constexpr const char* kMsgOverwriteFailed = "Overwriting file failed";
constexpr const char* kMsgCannotReadArchive = "Cannot read archive";
constexpr const char* kMsgCannotWriteArchive = "Cannot write to archive";
constexpr const char* kMsgInvalidArchiveType = "Invalid archive type";
constexpr const char* kMsgCompression = "Compression error";
constexpr const char* kMsgTempFile = "Cannot create temporary file to save the file IDs";

// Raised to the caller (see TArchiver::raisedError).
constexpr const char* kMsgStreamRead = "Stream read error";
constexpr const char* kMsgStreamWrite = "Stream write error";
constexpr const char* kMsgCannotCreateDirectory = "Unable to create directory";
constexpr const char* kMsgCannotOpenFile = "Cannot open file %s";

// The built-in prompt for the next volume; %s is the volume's number.
constexpr const char* kMsgInsertDisk = "Please insert disk %s and click OK to continue.";

// The message of an error code, or an empty text for an unknown code.
const char* errorMessage(int code);

}  // namespace qly::archive
