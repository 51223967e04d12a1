#include "cli/HostPath.h"

#include <filesystem>
#include <system_error>

namespace kestrel {

std::string HostPath(const std::string& argument)
{
    std::error_code error;
    const std::filesystem::path given(std::u8string(argument.begin(), argument.end()));
    const std::u8string absolute = std::filesystem::absolute(given, error).u8string();
    return error ? argument : std::string(absolute.begin(), absolute.end());
}

}  // namespace kestrel
