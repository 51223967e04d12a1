// Registry batches on every backend: what other objects see, and what an abandoned batch
// leaves. The SQLite store makes a batch one transaction; the Windows registry has no undo, so
// there a batch only groups calls and each write stands as it is made.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/RegistryApi.h"
#include "support/ScratchFolder.h"
#include "support/TargetRegistry.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace kestrel {
namespace {

#ifdef _WIN32
constexpr bool BatchIsTransaction = false;
#else
constexpr bool BatchIsTransaction = true;
#endif

class RegistryBatchConformance : public ::testing::Test {
protected:
    void SetUp() override
    {
        writer_ = testing::TargetRegistry(dbPath_);
        reader_ = testing::TargetRegistry(dbPath_);
    }
    void TearDown() override
    {
        writer_.reset();
        reader_.reset();
#ifdef _WIN32
        RegDeleteTreeA(HKEY_CURRENT_USER, subKey_.c_str());
#endif
    }

    // Creates subKey_\name with one value through `api`.
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

    const std::string unique_ =
        std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "_" +
        std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    testing::ScratchFolder scratch_;
    const std::string dbPath_ = scratch_.Path("registry.db");
    const std::string subKey_ = "Software\\KestrelConformance\\" + unique_;
    std::unique_ptr<RegistryApi> writer_;
    std::unique_ptr<RegistryApi> reader_;
};

TEST_F(RegistryBatchConformance, CommittedWritesReachOtherObjectsAllAtOnce)
{
    RegistryBatch batch(*writer_);
    for (int i = 0; i < 50; ++i) {
        ASSERT_EQ(reg::Success, Write(*writer_, "K" + std::to_string(i)));
    }
    EXPECT_TRUE(Sees(*writer_, "K49")) << "a batch reads its own writes";
    EXPECT_EQ(!BatchIsTransaction, Sees(*reader_, "K0"));
    {
        RegistryBatch inner(*writer_);
        ASSERT_EQ(reg::Success, Write(*writer_, "Inner"));
        EXPECT_EQ(reg::Success, inner.Commit());
    }
    EXPECT_EQ(!BatchIsTransaction, Sees(*reader_, "Inner")) << "only the outermost commits";
    EXPECT_EQ(reg::Success, batch.Commit());
    EXPECT_TRUE(Sees(*reader_, "K0"));
    EXPECT_TRUE(Sees(*reader_, "K49"));
    EXPECT_TRUE(Sees(*reader_, "Inner"));
    EXPECT_EQ(reg::Success, Write(*writer_, "After")) << "calls after a batch commit alone";
    EXPECT_TRUE(Sees(*reader_, "After"));
}

TEST_F(RegistryBatchConformance, AnAbandonedBatchIsUndoneWhereTheBackendCan)
{
    ASSERT_EQ(reg::Success, Write(*writer_, "Before"));
    {
        RegistryBatch batch(*writer_);
        ASSERT_EQ(reg::Success, Write(*writer_, "Abandoned"));
        {
            RegistryBatch inner(*writer_);
            ASSERT_EQ(reg::Success, Write(*writer_, "InnerAbandoned"));
        }
        // An inner batch given up dooms the outer one: its commit reports the failure.
        EXPECT_EQ(BatchIsTransaction, batch.Commit() != reg::Success);
    }
    EXPECT_TRUE(Sees(*reader_, "Before"));
    EXPECT_EQ(!BatchIsTransaction, Sees(*reader_, "Abandoned"));
    EXPECT_EQ(!BatchIsTransaction, Sees(*writer_, "InnerAbandoned"));
    EXPECT_EQ(reg::Success, Write(*writer_, "Later"));
    EXPECT_TRUE(Sees(*reader_, "Later"));
}

}  // namespace
}  // namespace kestrel
