#include "disc/SystemDiscEngine.h"

#include "disc/imapi2/Imapi2Engine.h"

namespace kestrel {

std::unique_ptr<DiscEngine> CreateSystemDiscEngine(FileSystem& fileSystem,
                                                   const SystemDiscOptions& options)
{
    return std::make_unique<Imapi2Engine>(fileSystem, options.imageFiles);
}

}  // namespace kestrel
