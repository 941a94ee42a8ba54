#pragma once

#include <cstdio>
#include <ostream>
#include <string>

#include <sys/wait.h>  // WEXITSTATUS

namespace celvio::test {

struct CliRun {
    int status;
    std::string out;
    bool operator==(const CliRun&) const = default;
    friend void PrintTo(const CliRun& run, std::ostream* os) { *os << "exit " << run.status << ":\n" << run.out; }
};

/// Runs the built celvio-cli (CELVIO_CLI, set by the test target) with the arguments as a
/// shell would, after the shell commands in `prefix` (variables, limits); stderr joins
/// stdout.
inline CliRun cli(const std::string& arguments, const std::string& prefix = "") {
    const std::string command = prefix + " " + std::string(CELVIO_CLI) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof(buffer), pipe)) out.append(buffer, n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

}  // namespace celvio::test
