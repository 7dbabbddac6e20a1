#pragma once

// Runs a command line through the shell, as the qlyctl tests run qlyctl.

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace qlytest {

struct Outcome {
    int exitCode = -1;
    std::string out;  // what the command wrote on its standard output
};

// The command line goes to the shell as it is, redirections included.
inline Outcome runShell(const std::string& commandLine) {
    Outcome run;
    FILE* pipe = ::popen(commandLine.c_str(), "r");
    if (pipe == nullptr)
        return run;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.out.append(buffer, n);
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

}  // namespace qlytest
