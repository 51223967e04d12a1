#include "archive/BlockHash.h"

#include <blake3.h>

#include "platform/Crypto.h"

namespace kestrel {
namespace {

static_assert(BlockHasher::DigestSize == Sha256::DigestSize);
static_assert(BlockHasher::DigestSize == BLAKE3_OUT_LEN);

class SystemSha256 final : public BlockHasher {
public:
    explicit SystemSha256(std::unique_ptr<Sha256> hash) : hash_(std::move(hash)) {}
    void Update(const std::uint8_t* data, std::size_t size) override { hash_->Update(data, size); }
    Digest Finish() override { return hash_->Finish(); }

private:
    std::unique_ptr<Sha256> hash_;
};

// BLAKE3's own C library picks the widest vector unit the processor has at run time.
class Blake3 final : public BlockHasher {
public:
    Blake3() { blake3_hasher_init(&state_); }
    void Update(const std::uint8_t* data, std::size_t size) override
    {
        blake3_hasher_update(&state_, data, size);
    }
    Digest Finish() override
    {
        Digest digest{};
        blake3_hasher_finalize(&state_, digest.data(), digest.size());
        blake3_hasher_init(&state_);
        return digest;
    }

private:
    blake3_hasher state_{};
};

}  // namespace

std::unique_ptr<BlockHasher> CreateBlockHasher(BlockHash hash)
{
    if (hash == BlockHash::Blake3) {
        return std::make_unique<Blake3>();
    }
    std::unique_ptr<Sha256> system = CreateSha256();
    if (!system) {
        return nullptr;
    }
    return std::make_unique<SystemSha256>(std::move(system));
}

}  // namespace kestrel
