#include "arguments.hpp"

#include <algorithm>

namespace celvio::cli {

Arguments::Arguments(const std::vector<std::string_view>& args, const ArgumentSyntax& syntax) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (const auto flag = std::find(syntax.flags.begin(), syntax.flags.end(), arg); flag != syntax.flags.end()) {
            flags_.push_back(*flag);
            continue;
        }
        const auto valued = std::find_if(syntax.valued.begin(), syntax.valued.end(), [arg](const auto& option) {
            return arg.starts_with(option.first) &&
                   (arg.size() == option.first.size() || arg[option.first.size()] == '=');
        });
        if (valued != syntax.valued.end()) {
            const std::string_view name = valued->first;
            if (arg.size() > name.size()) {
                values_.emplace_back(name, arg.substr(name.size() + 1));
            } else if (i + 1 < args.size()) {
                values_.emplace_back(name, args[++i]);
            } else {
                throw UsageError{std::string(name) + " needs " + std::string(valued->second)};
            }
            continue;
        }
        if (arg.starts_with("-") || operands_.size() == syntax.maxOperands)
            throw UsageError{"unknown argument: " + std::string(arg)};
        operands_.emplace_back(arg);
    }
}

bool Arguments::has(std::string_view flag) const {
    return std::find(flags_.begin(), flags_.end(), flag) != flags_.end();
}

std::optional<std::string> Arguments::value(std::string_view option) const {
    for (auto it = values_.rbegin(); it != values_.rend(); ++it)
        if (it->first == option) return it->second;
    return std::nullopt;
}

}  // namespace celvio::cli
