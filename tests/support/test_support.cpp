#include "test_support.hpp"

#include <cstdlib>
#include <system_error>

#include <sys/socket.h>

namespace celvio::test {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/celvio-test-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::system_error(errno, std::generic_category(), "mkdtemp");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

ScopedEnv::ScopedEnv(std::string name, std::optional<std::string> value) : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) old_ = old;
    if (value) setenv(name_.c_str(), value->c_str(), 1);
    else unsetenv(name_.c_str());
}

ScopedEnv::~ScopedEnv() {
    if (old_) setenv(name_.c_str(), old_->c_str(), 1);
    else unsetenv(name_.c_str());
}

std::pair<int, int> socketPair() {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        throw std::system_error(errno, std::generic_category(), "socketpair");
    return {fds[0], fds[1]};
}

void expectError(const std::function<void()>& body, const std::string& text) {
    try {
        body();
        ADD_FAILURE() << "expected the error \"" << text << "\", got success";
    } catch (const CelvioError& error) {
        EXPECT_EQ(error.description(), text);
    } catch (const std::exception& error) {
        ADD_FAILURE() << "expected CelvioError \"" << text << "\", got: " << error.what();
    }
}

}  // namespace celvio::test
