#include "disc/VerifyImage.h"

#include <algorithm>
#include <cstring>

#include "platform/FileContents.h"

namespace kestrel {
namespace {

constexpr std::size_t CompareChunk = 1 << 16;

}  // namespace

VerifyResult CompareWrittenFile(FileSystem& files, const ImageItem& item, WrittenFiles& disc)
{
    if (!disc.Reachable()) {
        return VerifyResult::NotCompared;
    }
    Result<std::unique_ptr<InputFile>> source = files.OpenInputFile(item.SourcePath);
    if (!source) {
        return VerifyResult::SourceUnreadable;
    }
    std::unique_ptr<InputFile> written = disc.Open(item.ImagePath);
    if (!written) {
        return VerifyResult::DiscUnreadable;
    }
    if ((*source)->Size() != written->Size()) {
        return VerifyResult::SizeDifferent;
    }
    std::vector<char> ours(CompareChunk);
    std::vector<char> theirs(CompareChunk);
    for (;;) {
        const std::int64_t got = ReadFully(**source, ours.data(), ours.size());
        if (got < 0) {
            return VerifyResult::SourceUnreadable;
        }
        const std::int64_t back = ReadFully(*written, theirs.data(), theirs.size());
        if (back < 0) {
            return VerifyResult::DiscUnreadable;
        }
        if (got != back) {
            return VerifyResult::SizeDifferent;
        }
        if (std::memcmp(ours.data(), theirs.data(), static_cast<std::size_t>(got)) != 0) {
            return VerifyResult::Different;
        }
        if (got == 0) {
            return VerifyResult::Matched;
        }
    }
}

VerifyTally VerifyWrittenFiles(FileSystem& files, const std::vector<ImageItem>& items,
                               WrittenFiles& disc,
                               const std::function<void(std::function<void(DiscEvents&)>)>& raise,
                               const std::function<bool()>& stopRequested)
{
    VerifyTally tally;
    tally.total = static_cast<int>(
        std::count_if(items.begin(), items.end(), [](const ImageItem& i) { return !i.IsFolder; }));
    const int total = tally.total;
    raise([total](DiscEvents& l) { l.VerifyStarted(total); });
    int done = 0;
    for (const ImageItem& item : items) {
        if (item.IsFolder) {
            continue;
        }
        if (stopRequested && stopRequested()) {
            return tally;
        }
        const VerifyResult result = CompareWrittenFile(files, item, disc);
        tally.matched += result == VerifyResult::Matched ? 1 : 0;
        ++done;
        raise([item, result, done, total](DiscEvents& l) {
            l.VerifyItem(item, result, done, total);
        });
    }
    const int matched = tally.matched;
    raise([total, matched](DiscEvents& l) { l.VerifyDone(total, matched); });
    return tally;
}

}  // namespace kestrel
