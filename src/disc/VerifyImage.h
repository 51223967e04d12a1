#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "disc/DiscEngine.h"
#include "platform/FileSystem.h"

namespace kestrel {

// The files of a written disc (or image file), read back by their image paths.
class WrittenFiles {
public:
    virtual ~WrittenFiles() = default;
    // The file at `imagePath`; null when the disc holds no such file or cannot be read.
    virtual std::unique_ptr<InputFile> Open(const std::string& imagePath) = 0;
    // False when the disc cannot be read back at all (a drive that shows the system no
    // volume): its files are then not compared rather than unreadable.
    virtual bool Reachable() const { return true; }
};

// How the file of the disc compares with its source: sizes first, then every byte.
VerifyResult CompareWrittenFile(FileSystem& files, const ImageItem& item, WrittenFiles& disc);

struct VerifyTally {
    int total = 0;
    int matched = 0;
};

// Compares every file of `items` (folders are skipped) with what the disc holds, raising
// VerifyStarted, one VerifyItem per file and VerifyDone through `raise`. Each event is handed
// over whole, so `raise` may queue it for another thread. When `stopRequested` answers true
// before a file, the comparison ends there without VerifyDone.
VerifyTally VerifyWrittenFiles(FileSystem& files, const std::vector<ImageItem>& items,
                               WrittenFiles& disc,
                               const std::function<void(std::function<void(DiscEvents&)>)>& raise,
                               const std::function<bool()>& stopRequested = {});

}  // namespace kestrel
