// Archives as a restore, `kestrel archive verify` and `list` read them. Beyond not crashing:
// whatever the method (stored, deflate, AES, the traditional PKWARE scheme, bzip2), no member
// hands out a byte past the size it declares, so a small archive cannot expand without bound.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "archive/MemberName.h"
#include "archive/ZipComponent.h"
#include "platform/posix/PosixFileSystem.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kestrel;
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
