#pragma once

#include <memory>
#include <string>
#include <vector>

#include "disc/DiscEngine.h"

namespace kestrel {

class FileSystem;

// What the system's engine is created with.
struct SystemDiscOptions {
    // Image files offered as drives beside the real ones (where the engine can write to a
    // file): how a user writes an ISO file and how the tests write without hardware.
    std::vector<std::string> imageFiles;
};

// The image files named by KESTREL_DISC_IMAGES: host paths separated by ':' (';' on Windows),
// empty entries skipped.
SystemDiscOptions DiscOptionsFromEnvironment();

// The disc engine of the system the program was built for (libburn and libisofs on Linux,
// IMAPI2 on Windows). Defined by the disc backend the program links; its Initialize is
// false where the system has no engine at all.
std::unique_ptr<DiscEngine> CreateSystemDiscEngine(FileSystem& fileSystem,
                                                   const SystemDiscOptions& options);

}  // namespace kestrel
