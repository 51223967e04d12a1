// Until this system's engine is written, the program has none: Initialize answers false and
// the disc window says that no device can be initialised.

#include "disc/SystemDiscEngine.h"

#include <stdexcept>

namespace kestrel {

namespace {

class UnavailableDiscEngine final : public DiscEngine {
public:
    bool Initialize() override { return false; }
    int DeviceCount() const override { return 0; }
    DiscDevice& DeviceAt(int /*index*/) override
    {
        throw std::logic_error("no disc engine: no drives");
    }
    DataWriter& Writer() override { throw std::logic_error("no disc engine: no writer"); }
};

}  // namespace

std::unique_ptr<DiscEngine> CreateSystemDiscEngine(FileSystem& /*fileSystem*/,
                                                   const SystemDiscOptions& /*options*/)
{
    return std::make_unique<UnavailableDiscEngine>();
}

}  // namespace kestrel
