#include "commands/format_option.h"

#include <ctype.h>

#include <algorithm>

namespace kesvar_cli {

CLI::Option* AddFormatOption(CLI::App* command, std::string* format,
                             const std::vector<std::string>& names) {
    std::string list;
    for (size_t i = 0; i < names.size(); ++i)
        list += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    CLI::Validator oneOf(
        [names, list](std::string& value) {
            std::string lower = value;
            std::transform(lower.begin(), lower.end(), lower.begin(),
                           [](unsigned char c) { return char(tolower(c)); });
            if (std::find(names.begin(), names.end(), lower) == names.end())
                return "expected " + list + ", found '" + value + "'";
            value = lower;
            return std::string();
        },
        "");
    return command
        ->add_option("--format,-f", *format,
                     "Output: " + names[0] + " (default), " + list.substr(names[0].size() + 2))
        ->transform(oneOf);
}

} // namespace kesvar_cli
