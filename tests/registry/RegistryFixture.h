#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/RegistryApi.h"
#include "registry/RegistryAccess.h"
#include "support/ScratchFolder.h"
#include "support/ScriptedMessages.h"
#include "support/TargetRegistry.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace kestrel::testing {

// The registry of the system the tests run on (a fresh SQLite store natively, Wine's
// registry under Wine) with a scratch key of the test's own under HKEY_CURRENT_USER.
class RegistryFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        api_ = TargetRegistry(dbPath_);
        access_ = std::make_unique<RegistryAccess>(*api_, messages_);
        reg::Key key = 0;
        ASSERT_EQ(reg::Success, api_->CreateKey(reg::HkeyCurrentUser, subKey_.c_str(), &key));
        api_->CloseKey(key);
    }

    void TearDown() override
    {
        access_.reset();
#ifdef _WIN32
        // Cleared by the system itself, not by the code under test.
        RegDeleteTreeA(HKEY_CURRENT_USER, subKey_.c_str());
#endif
        api_.reset();
    }

    // A subkey created through the raw API, so that setting up does not rest on the code under
    // test; returns its full path. With a name, sets that value (ANSI name and bytes) in it.
    std::string MakeKey(const std::string& relative, const char* name = nullptr,
                        std::uint32_t type = 0, const std::string& data = "")
    {
        reg::Key key = 0;
        const std::string sub = subKey_ + (relative.empty() ? "" : "\\" + relative);
        EXPECT_EQ(reg::Success, api_->CreateKey(reg::HkeyCurrentUser, sub.c_str(), &key));
        EXPECT_TRUE(name == nullptr ||
                    api_->SetValueEx(key, name, type,
                                     reinterpret_cast<const std::uint8_t*>(data.data()),
                                     static_cast<std::uint32_t>(data.size())) == reg::Success);
        api_->CloseKey(key);
        return "HKEY_CURRENT_USER\\" + sub;
    }
    void SetRaw(const std::string& relative, const std::string& name, std::uint32_t type,
                const std::string& data)
    {
        MakeKey(relative, name.c_str(), type, data);
    }

    static std::string UniqueName()
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        std::replace(name.begin(), name.end(), '/', '_');
        return name + "_" +
               std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    }

    // The store file natively; other files a test needs go here too.
    ScratchFolder scratch_;
    const std::string dbPath_ = scratch_.Path("registry.db");
    const std::string subKey_ = "Software\\KestrelTests\\" + UniqueName();
    // The scratch key as the program names it.
    const std::string base_ = "HKEY_CURRENT_USER\\" + subKey_;
    ScriptedMessages messages_;
    std::unique_ptr<RegistryApi> api_;
    std::unique_ptr<RegistryAccess> access_;
};

}  // namespace kestrel::testing
