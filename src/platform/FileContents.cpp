#include "platform/FileContents.h"

#include <memory>

namespace kestrel {

std::int64_t ReadFully(InputFile& in, void* data, std::size_t size)
{
    auto* bytes = static_cast<char*>(data);
    std::size_t got = 0;
    while (got < size) {
        const std::int64_t read = in.Read(bytes + got, size - got);
        if (read < 0) {
            return -1;
        }
        if (read == 0) {
            break;
        }
        got += static_cast<std::size_t>(read);
    }
    return static_cast<std::int64_t>(got);
}

Result<std::string> ReadWholeFile(FileSystem& fileSystem, const std::string& path,
                                  std::uint64_t maxSize)
{
    auto opened = fileSystem.OpenInputFile(path);
    if (!opened) {
        return opened.error();
    }
    InputFile& in = **opened;
    if (in.Size() > maxSize) {
        return Error{"read", path, 0, "the file is too large"};
    }
    std::string bytes(static_cast<std::size_t>(in.Size()), '\0');
    const std::int64_t got = in.Read(bytes.data(), bytes.size());
    if (got < 0) {
        return in.Failure();
    }
    bytes.resize(static_cast<std::size_t>(got));
    return bytes;
}

std::optional<Error> ReplaceFile(FileSystem& fileSystem, const std::string& path,
                                 std::string_view bytes)
{
    const std::string temporary = path + ".kestrel-tmp";
    auto created = fileSystem.CreateOutputFile(temporary);
    if (!created) {
        return created.error();
    }
    std::unique_ptr<OutputFile> out = std::move(*created);
    if (!out->Write(bytes.data(), bytes.size()) || !out->Commit()) {
        Error failure = out->Failure();
        out.reset();
        fileSystem.RemoveFile(temporary);
        return failure;
    }
    out.reset();  // Windows renames no file that is still open
    if (!fileSystem.MoveOver(temporary, path)) {
        fileSystem.RemoveFile(temporary);
        return Error{"replace", path, 0, "the new file could not take its place"};
    }
    return std::nullopt;
}

}  // namespace kestrel
