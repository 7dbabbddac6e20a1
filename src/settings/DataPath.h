#pragma once

#include <string>

// The data-path rule shared by every reader of PATH: an empty PATH means the
// program's own folder, and the data path always ends in "/".

namespace qly {

// The folder an empty PATH stands for, ending in "/": the folder of the
// running executable (the current folder when /proc/self/exe cannot be
// read), or, for an installed program, installedDataFolder().
std::string programFolder();

// True when the executable's folder is that of an installed program
// (PREFIX/lib/quillory/ beside PREFIX/share/metainfo/ with the program's
// metainfo file): its folder is not the user's to write in.
bool isInstalledProgramFolder(const std::string& executableFolder);

// $XDG_DATA_HOME/Quillory/data/, with ~/.local/share when XDG_DATA_HOME is
// unset or not absolute.
std::string installedDataFolder(const char* xdgDataHome, const char* home);

// Appends "/" when the last character is not "/"; an empty text stays empty.
std::string appendPathSeparator(std::string path);

// Empty path -> programFolder; then appendPathSeparator.
std::string applyDataPathRule(std::string path, const std::string& programFolder);

}  // namespace qly
