#include "PstLikeData.h"

#include <algorithm>
#include <array>
#include <fstream>

#include <zlib.h>

namespace kestrel::bench {

void AppendMailText(std::string& out, std::size_t size, std::mt19937& random)
{
    static const std::array<const char*, 24> Words{
        "the",    "meeting", "report", "please", "attached", "regards",  "quarter", "project",
        "budget", "review",  "team",   "thanks", "schedule", "customer", "invoice", "update",
        "draft",  "next",    "week",   "call",   "office",   "numbers",  "sales",   "contract"};
    while (out.size() < size) {
        out += "From: user" + std::to_string(random() % 500) + "@example.com\r\nSubject: ";
        for (int i = 0; i < 6; ++i) {
            out += Words[random() % Words.size()];
            out += ' ';
        }
        out += "\r\n\r\n";
        for (int line = 0; line < 12; ++line) {
            out += line % 4 == 3 ? "> " : "";
            for (int i = 0; i < 11; ++i) {
                out += Words[random() % Words.size()];
                out += ' ';
            }
            out += "\r\n";
        }
    }
    out.resize(size);
}

std::string CompressedText(std::size_t size, std::mt19937& random)
{
    std::string text;
    AppendMailText(text, size * 4, random);
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, static_cast<uLong>(text.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(text.data());
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(std::min<std::size_t>(z.total_out, size));
    deflateEnd(&z);
    return out;
}

namespace {
constexpr std::size_t PieceSize = 256 * 1024;
}

PstLikeStream::PstLikeStream() : random_(20240601)
{
}

void PstLikeStream::Next(char* out, std::size_t size)
{
    while (size > 0) {
        if (used_ == piece_.size()) {
            // The last piece a file takes is cut short; the bytes before it never depend on
            // where the file ends.
            piece_.clear();
            if (pieces_++ % 2 == 0) {
                AppendMailText(piece_, PieceSize, random_);
            } else {
                piece_.resize(PieceSize);
                for (char& byte : piece_) {
                    byte = static_cast<char>(random_() & 0xFF);
                }
            }
            used_ = 0;
        }
        const std::size_t take = std::min(size, piece_.size() - used_);
        std::copy_n(piece_.data() + used_, take, out);
        used_ += take;
        out += take;
        size -= take;
    }
}

void GeneratePstLike(const std::filesystem::path& file, std::uint64_t size)
{
    PstLikeStream stream;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    std::string block(PieceSize, '\0');
    for (std::uint64_t written = 0; written < size; written += block.size()) {
        block.resize(static_cast<std::size_t>(std::min<std::uint64_t>(PieceSize, size - written)));
        stream.Next(block.data(), block.size());
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
}

}  // namespace kestrel::bench
