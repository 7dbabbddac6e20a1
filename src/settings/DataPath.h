#pragma once

#include <string>

// The data-path rule shared by every reader of PATH: an empty PATH means the
// program's own folder, and the data path always ends in "/".

namespace qly {

// The folder of the running executable, ending in "/". Falls back to the
// current folder when /proc/self/exe cannot be read.
std::string programFolder();

// Appends "/" when the last character is not "/"; an empty text stays empty.
std::string appendPathSeparator(std::string path);

// Empty path -> programFolder; then appendPathSeparator.
std::string applyDataPathRule(std::string path, const std::string& programFolder);

}  // namespace qly
