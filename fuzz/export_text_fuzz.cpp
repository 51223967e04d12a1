// The reader of the export text that backups hold. Beyond not crashing: every value it
// accepts must read back the same from the line the writer makes of it, when the value is one
// a line can hold (no line break in it, no "=" in its name, no terminator of its own).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/RegistryApi.h"
#include "registry/ExportText.h"

namespace {

bool LineCanHold(const kestrel::ExportValue& value)
{
    constexpr std::string_view breaks("\r\n\0", 3);
    const bool text =
        value.type == kestrel::reg::TypeSz || value.type == kestrel::reg::TypeExpandSz;
    return value.name.find_first_of("=\r\n") == std::string_view::npos &&
           (!text || value.data.find_first_of(breaks) == std::string_view::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kestrel;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ExportTextError error;
    const auto keys = ParseExportText(text, error);
    if (!keys) {
        return 0;
    }
    for (const ExportKey& key : *keys) {
        for (const ExportValue& value : key.values) {
            if (!LineCanHold(value)) {
                continue;
            }
            const auto line = FormatValueLine(value.name, value.type, value.data);
            if (!line) {
                std::abort();
            }
            const auto again = ParseExportText("\\\r\n" + *line, error);
            if (!again || again->size() != 1 || again->front().values.size() != 1 ||
                again->front().values[0].name != value.name ||
                again->front().values[0].type != value.type ||
                again->front().values[0].data != value.data) {
                std::abort();
            }
        }
    }
    return 0;
}
