// The reader of registry files. Beyond not crashing: whatever it accepts, the writer must
// write so that it reads back as the same keys and values.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "registry/RegFile.h"

namespace {

bool Same(const kestrel::RegFileKey& a, const kestrel::RegFileKey& b)
{
    if (a.path != b.path || a.remove != b.remove || a.values.size() != b.values.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.values.size(); ++i) {
        const auto& x = a.values[i];
        const auto& y = b.values[i];
        if (x.name != y.name || x.remove != y.remove || x.type != y.type || x.data != y.data) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kestrel;
    RegFileError error;
    const auto keys =
        ParseRegFile(std::string_view(reinterpret_cast<const char*>(data), size), error);
    if (!keys) {
        return 0;
    }
    const auto again = ParseRegFile(FormatRegFile(*keys), error);
    if (!again || again->size() != keys->size()) {
        std::abort();
    }
    for (std::size_t i = 0; i < keys->size(); ++i) {
        if (!Same((*keys)[i], (*again)[i])) {
            std::abort();
        }
    }
    return 0;
}
