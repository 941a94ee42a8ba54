#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace celvio::cli {

/// An invocation a command does not take. main prints "celvio-cli: " and the message, a
/// blank line and the command's usage, and exits with status 2.
struct UsageError {
    std::string message;
};

/// What a command takes. An argument that starts with "-" is an option; any other is an
/// operand.
struct ArgumentSyntax {
    std::vector<std::string_view> flags{};  ///< "--json"
    /// Options with a value, "--file PATH" or "--file=PATH", and what the value is
    /// ("a path"); the next argument is the value whatever it starts with.
    std::vector<std::pair<std::string_view, std::string_view>> valued{};
    std::size_t maxOperands = 0;
};

/// A command's arguments, checked against the syntax it accepts.
class Arguments {
public:
    /// Throws UsageError "unknown argument: X" for an option the syntax does not name or an operand
    /// beyond the syntax's count, "--file needs a path" for a valued option without value.
    Arguments(const std::vector<std::string_view>& args, const ArgumentSyntax& syntax);

    bool has(std::string_view flag) const;
    /// The option's value; the last one when given twice; absent when not given.
    std::optional<std::string> value(std::string_view option) const;
    /// The operands in order.
    const std::vector<std::string>& operands() const { return operands_; }

private:
    std::vector<std::string_view> flags_;
    std::vector<std::pair<std::string_view, std::string>> values_;
    std::vector<std::string> operands_;
};

}  // namespace celvio::cli
