#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/ChunkIndex.h"

namespace kestrel {

// Turns a member's data as it is stored in the archive (deflated or stored, WinZip AES or not
// encrypted) into the file's bytes, and checks what the member carries: the AES password
// verifier and authentication code, the size and the CRC-32. The stored bytes come in pieces
// of any size, in order; nothing here reads the archive.
//
// The file's bytes go to the consumer before the checks at the end can pass, so the consumer
// must hold them back (a temporary file) until Finish returns true.
class MemberDecoder {
public:
    struct Member {
        std::uint64_t size = 0;        // of the file
        std::uint64_t storedSize = 0;  // of the stored data, AES salt, verifier and code included
        std::uint32_t crc = 0;
        bool checkCrc = true;  // AE-2 members store 0 and rely on the code alone
        bool deflated = false;
        int aesBits = 0;  // 128, 192 or 256; 0 when not encrypted
        // Of a deflated member, checked against it (ParseChunkIndex): its chunks are inflated
        // on every core and their CRCs checked as well. Kept alive by the caller.
        const ChunkIndex* chunks = nullptr;
    };
    // False stops the decoding (Error says so).
    using Consumer = std::function<bool(const char*, std::size_t)>;

    // The password in each form of bytes the member's keys may have been made from, tried in
    // order: the first whose verifier matches decrypts (an empty list is a wrong password).
    MemberDecoder(const Member& member, std::vector<std::string> passwords, Consumer consumer);
    ~MemberDecoder();
    MemberDecoder(const MemberDecoder&) = delete;
    MemberDecoder& operator=(const MemberDecoder&) = delete;

    // The next stored bytes; decrypts them in place. False once anything failed: a wrong
    // password, damaged data, more bytes than stored, or the consumer said stop.
    bool Feed(std::uint8_t* data, std::size_t size);
    // After the last piece: true only when every stored byte came and every check passed.
    bool Finish();

    // Fills the buffer with the next stored bytes and returns how many; 0 at the end, -1 when
    // the archive cannot be read. Never asked for more than remain of the stored size.
    using Reader = std::function<std::ptrdiff_t(std::uint8_t* buffer, std::size_t size)>;
    // Feeds the decoder from the reader, in large blocks read and decrypted on a thread of
    // their own while this one inflates and consumes, then finishes it: Finish's result.
    bool Run(const Reader& read);
    const std::string& Error() const;
    // Whether the consumer, not the data, ended the decoding.
    bool Stopped() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace kestrel
