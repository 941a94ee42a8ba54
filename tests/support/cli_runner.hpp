#pragma once

#include <cstdio>
#include <string>

#include <sys/wait.h>  // WEXITSTATUS

namespace celvio::test {

struct CliRun {
    int status;
    std::string out;
};

/// Runs the built celvio-cli (CELVIO_CLI, set by the test target) with the arguments as a
/// shell would, after `wrapper` (a command such as "timeout 5 "); stderr joins stdout.
inline CliRun cli(const std::string& arguments, const std::string& wrapper = "") {
    const std::string command = wrapper + std::string(CELVIO_CLI) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof(buffer), pipe)) out.append(buffer, n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

}  // namespace celvio::test
