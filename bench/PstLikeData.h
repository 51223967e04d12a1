// The data of the benchmarks' PST-like files, shared by archive_bench and change_bench so that
// both measure the same bytes: mail-like text, deflated text (as in Office files and PDFs) and
// the PST-like stream itself (256 KiB pieces taking turns between mail text and random bytes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>

namespace kestrel::bench {

// Appends mail-like text (headers, words, quoted replies) until out holds size bytes; it
// compresses about as real mail does.
void AppendMailText(std::string& out, std::size_t size, std::mt19937& random);

// Deflated mail text of at most size bytes: what an Office file, a PDF stream or a ZIP
// attachment holds.
std::string CompressedText(std::size_t size, std::mt19937& random);

// The PST-like byte stream, the same on every run: 256 KiB of mail text, then 256 KiB of random
// attachment-like bytes, and so on. Next() hands it out in pieces of any length.
class PstLikeStream {
public:
    PstLikeStream();
    void Next(char* out, std::size_t size);

private:
    std::mt19937 random_;
    std::string piece_;
    std::size_t used_ = 0;
    std::uint64_t pieces_ = 0;
};

// Writes the first size bytes of the PST-like stream to file.
void GeneratePstLike(const std::filesystem::path& file, std::uint64_t size);

}  // namespace kestrel::bench
