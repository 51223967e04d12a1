// Registry batches: the SQLite store makes a batch one transaction; the Windows registry has no
// undo, so there a batch only groups calls and each write stands as it is made.

#include <string>

#include "registry/RegistryFixture.h"

namespace kestrel {
namespace {

#ifdef _WIN32
constexpr bool BatchIsTransaction = false;
#else
constexpr bool BatchIsTransaction = true;
#endif

class RegistryBatchConformance : public testing::RegistryFixture {
protected:
    long Write(RegistryApi& api, const std::string& name)
    {
        reg::Key key = 0;
        const long rc = api.CreateKey(reg::HkeyCurrentUser, (subKey_ + "\\" + name).c_str(), &key);
        if (rc != reg::Success) {
            return rc;
        }
        const std::uint8_t data[] = {1, 2, 3};
        const long set = api.SetValueEx(key, "v", reg::TypeBinary, data, sizeof data);
        api.CloseKey(key);
        return set;
    }

    bool Sees(RegistryApi& api, const std::string& name)
    {
        reg::Key key = 0;
        if (api.OpenKeyEx(reg::HkeyCurrentUser, (subKey_ + "\\" + name).c_str(), reg::KeyRead,
                          &key) != reg::Success) {
            return false;
        }
        std::uint32_t size = 0;
        const long rc = api.QueryValueEx(key, "v", nullptr, nullptr, &size);
        api.CloseKey(key);
        return rc == reg::Success && size == 3;
    }

    std::unique_ptr<RegistryApi> reader_ = testing::TargetRegistry(dbPath_);
};

TEST_F(RegistryBatchConformance, CommittedWritesReachOtherObjectsAllAtOnce)
{
    RegistryBatch batch(*api_);
    for (int i = 0; i < 50; ++i) {
        ASSERT_EQ(reg::Success, Write(*api_, "K" + std::to_string(i)));
    }
    EXPECT_TRUE(Sees(*api_, "K49")) << "a batch reads its own writes";
    EXPECT_EQ(!BatchIsTransaction, Sees(*reader_, "K0"));
    {
        RegistryBatch inner(*api_);
        ASSERT_EQ(reg::Success, Write(*api_, "Inner"));
        EXPECT_EQ(reg::Success, inner.Commit());
    }
    EXPECT_EQ(!BatchIsTransaction, Sees(*reader_, "Inner")) << "only the outermost commits";
    EXPECT_EQ(reg::Success, batch.Commit());
    EXPECT_TRUE(Sees(*reader_, "K0"));
    EXPECT_TRUE(Sees(*reader_, "K49"));
    EXPECT_TRUE(Sees(*reader_, "Inner"));
    EXPECT_EQ(reg::Success, Write(*api_, "After")) << "calls after a batch commit alone";
    EXPECT_TRUE(Sees(*reader_, "After"));
}

TEST_F(RegistryBatchConformance, AnAbandonedBatchIsUndoneWhereTheBackendCan)
{
    ASSERT_EQ(reg::Success, Write(*api_, "Before"));
    {
        RegistryBatch batch(*api_);
        ASSERT_EQ(reg::Success, Write(*api_, "Abandoned"));
        {
            RegistryBatch inner(*api_);
            ASSERT_EQ(reg::Success, Write(*api_, "InnerAbandoned"));
        }
        // An inner batch given up dooms the outer one: its commit reports the failure.
        EXPECT_EQ(BatchIsTransaction, batch.Commit() != reg::Success);
    }
    EXPECT_TRUE(Sees(*reader_, "Before"));
    EXPECT_EQ(!BatchIsTransaction, Sees(*reader_, "Abandoned"));
    EXPECT_EQ(!BatchIsTransaction, Sees(*api_, "InnerAbandoned"));
    EXPECT_EQ(reg::Success, Write(*api_, "Later"));
    EXPECT_TRUE(Sees(*reader_, "Later"));
}

}  // namespace
}  // namespace kestrel
