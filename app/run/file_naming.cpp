#include "run/file_naming.h"

#include <string_view>
#include <vector>

namespace varnika {

std::string reference_file_name(const std::string& file_name, int filter_index, int named_filters) {
    constexpr std::size_t extension_length = 4;
    std::string reference;
    if (filter_index <= named_filters && file_name.size() > extension_length) {
        reference = file_name.substr(0, file_name.size() - extension_length) + ".ref";
    } else {
        reference = file_name + ".ref";
    }
    if (reference == file_name) {
        reference = file_name + ".ref";
    }
    return reference;
}

std::vector<std::string> filter_parts(const std::string& filter) {
    std::vector<std::string> parts;
    std::string_view rest = filter;
    for (std::size_t bar = rest.find('|'); bar != std::string_view::npos; bar = rest.find('|')) {
        parts.emplace_back(rest.substr(0, bar));
        rest.remove_prefix(bar + 1);
    }
    parts.emplace_back(rest);
    return parts;
}

std::string filter_extension(const std::string& filter, int filter_index) {
    const std::vector<std::string> parts = filter_parts(filter);
    const auto pattern_index = static_cast<std::size_t>(2 * filter_index - 1);
    if (filter_index < 1 || pattern_index >= parts.size()) {
        return {};
    }
    const std::string_view pattern = parts[pattern_index];
    if (pattern.substr(0, 2) != "*." || pattern.find('*', 1) != std::string_view::npos) {
        return {};
    }
    return std::string(pattern.substr(2));
}

} // namespace varnika
