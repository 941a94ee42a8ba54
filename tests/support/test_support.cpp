#include "test_support.hpp"

#include "display/error_text.hpp"

#include <cstdlib>
#include <ctime>
#include <system_error>

#include <arpa/inet.h>   // htonl
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace celvio::test {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/celvio-test-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::system_error(errno, std::generic_category(), "mkdtemp");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;  // a destructor must not throw
    std::filesystem::remove_all(path_, ignored);
}

static void setOrUnset(const std::string& name, const std::optional<std::string>& value) {
    value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
    tzset();  // the C library reads TZ once unless told
}

ScopedEnv::ScopedEnv(std::string name, std::optional<std::string> value) : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) old_ = old;
    setOrUnset(name_, value);
}

ScopedEnv::~ScopedEnv() { setOrUnset(name_, old_); }

LoopbackListener::LoopbackListener() {
    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || listen(fd, 4) != 0)
        throw std::system_error(errno, std::generic_category(), "loopback listener");
    socklen_t length = sizeof(address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
}

LoopbackListener::~LoopbackListener() { ::close(fd); }

void expectError(const std::function<void()>& body, const std::string& text) {
    try {
        body();
        ADD_FAILURE() << "expected the error \"" << text << "\", got success";
    } catch (const CelvioError& error) {
        if (text.ends_with("..."))
            EXPECT_TRUE(errorText(error).starts_with(text.substr(0, text.size() - 3))) << errorText(error);
        else
            EXPECT_EQ(errorText(error), text);
    } catch (const std::exception& error) {
        ADD_FAILURE() << "expected CelvioError \"" << text << "\", got: " << error.what();
    }
}

}  // namespace celvio::test
