#pragma once

#include <string>
#include <vector>

// The commands of qlyctl. Each takes the arguments after its own name and
// returns the process exit code: 0 success, 1 failure, 2 bad usage,
// 3 cancelled by the user.
namespace qlyctl {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitCancelled = 3;

using Args = std::vector<std::string>;

// Tables (TableCommands.cpp).
int cmdInit(const Args& args);
int cmdDump(const Args& args);
int cmdReindex(const Args& args);
int cmdVerifyTable(const Args& args);  // qlyctl verify TABLE.dbf

// CSV files (CsvCommands.cpp).
int cmdExport(const Args& args);
int cmdImport(const Args& args);

// Deleted records (DeletedCommands.cpp).
int cmdDeleted(const Args& args);
int cmdRecall(const Args& args);

// Backup archives (ArchiveCommands.cpp).
int cmdBackup(const Args& args);
int cmdRestore(const Args& args);
int cmdList(const Args& args);
int cmdVerify(const Args& args);

// Reports (ReportCommand.cpp).
int cmdReport(const Args& args);

// Version records (VersionCommand.cpp).
int cmdVersion(const Args& args);

}  // namespace qlyctl
