#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "disc/DiscEngine.h"
#include "disc/VerifyImage.h"
#include "platform/FileSystem.h"

struct burn_source;
struct Iso_Image;

namespace kestrel {

// Sets up libisofs for the process once (names in UTF-8); false when it cannot work.
bool StartIsoLibrary();

// What a source file did while the image was read from it: the first failure (a read error, a
// file that shrank or vanished since it was added) names the file.
class SourceReadLog {
public:
    void Fail(const FileError& error);
    bool Failed() const;
    FileError First() const;

private:
    mutable std::mutex lock_;
    bool failed_ = false;
    FileError first_;
};

struct IsoImageOptions {
    std::string volumeLabel;
    // The sources' own modification times; otherwise every item carries `now`.
    bool useFileDates = true;
    std::time_t now = 0;
};

struct IsoImageDeleter {
    void operator()(Iso_Image* image) const;
};
using IsoImagePtr = std::unique_ptr<Iso_Image, IsoImageDeleter>;

// The libisofs tree of the items (folders before what they hold), each file reading its source
// through `files` when the image is written. `log` must outlive the image. Null with `error`
// set when a name cannot be placed.
IsoImagePtr BuildIsoImage(FileSystem& files, const std::vector<ImageItem>& items,
                          const IsoImageOptions& options, SourceReadLog& log, std::string& error);

// The image as written to a disc: ISO 9660 level 2 with Joliet and Rock Ridge. Null with
// `error` set on failure. libburn takes the source (as its own struct burn_source) and frees
// it with burn_source_free.
::burn_source* CreateImageSource(Iso_Image* image, std::string& error);

// Bytes the image of these items takes at most: the files' blocks, a block per entry for each
// of the three directory trees, and the volume descriptors and path tables.
double EstimateImageBytes(const std::vector<ImageItem>& items);

// Reads one 2048-byte block of a written image; false when it cannot be read.
using BlockReader = std::function<bool(std::uint32_t block, std::uint8_t* data)>;

// The files of a written image, found through its directory tree (Rock Ridge names).
// Opening fails for every file when the image's tree cannot be read.
std::unique_ptr<WrittenFiles> OpenWrittenImage(BlockReader reader);

}  // namespace kestrel
