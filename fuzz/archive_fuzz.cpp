// Archives as a restore, `kestrel archive verify` and `list` read them, chunk indexes and block
// maps included (the input is also read as an index and as a map on its own; a map that is read
// must write back as the same bytes). Beyond not crashing:
// whatever the method (stored, deflate, AES, the traditional PKWARE scheme, bzip2), no member
// hands out a byte past the size it declares, so a small archive cannot expand without bound.

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive/BlockMap.h"
#include "archive/ChunkIndex.h"
#include "archive/MemberName.h"
#include "archive/ZipComponent.h"
#include "platform/posix/PosixFileSystem.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kestrel;
    // The sizes it is checked against are taken from the input itself, so that a valid index
    // is within the fuzzer's reach: the declared data size and the parts' lengths added up.
    const auto little = [&](std::size_t at, int count) {
        std::uint64_t value = 0;
        for (int i = 0; i < count && at + static_cast<std::size_t>(i) < size; ++i) {
            value |= std::uint64_t{data[at + static_cast<std::size_t>(i)]} << (8 * i);
        }
        return value;
    };
    std::uint64_t streamSize = 0;
    for (std::size_t at = ChunkIndexHeaderSize; at + 4 <= size; at += ChunkIndexEntrySize) {
        streamSize += little(at, 4);
    }
    if (const auto index = ParseChunkIndex({data, size}, little(8, 8), streamSize)) {
        std::uint64_t input = 0;
        for (std::size_t i = 0; i < index->chunks.size(); ++i) {
            input += index->InputSize(i);
        }
        if (input != index->dataSize) {
            std::abort();
        }
    }
    if (const auto map = ParseBlockMap({data, size})) {
        const std::vector<std::uint8_t> again = SerializeBlockMap(*map);
        if (!std::equal(again.begin(), again.end(), data, data + size)) {
            std::abort();
        }
    }
    static const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("kestrel-fuzz-" + std::to_string(getpid()));
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    PosixFileSystem files(file.parent_path());
    NoZipEvents events;
    ZipComponent zip(files, events);
    // The crafted seeds' password, so encrypted members are decoded as well as refused.
    zip.SetReadPassword("pw");
    if (!zip.Open(file.string())) {
        return 0;
    }
    for (const ZipMember& member : zip.Members()) {
        (void)PrintableText(member.name);
        std::uint64_t delivered = 0;
        zip.ReadMember(member, [&](const char*, std::size_t piece) {
            delivered += piece;
            if (delivered > member.size) {
                std::abort();
            }
            return true;
        });
    }
    return 0;
}
