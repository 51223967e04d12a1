#pragma once

#include <memory>
#include <string>

#include "registry/RegistryFixture.h"
#include "support/FakePlatform.h"
#include "support/SampleEnvironment.h"

namespace kestrel::testing {

// The Outlook 2003 sample machine (Windows XP; profiles "Outlook" and "Personal") in the test
// registry and on the system's own files, behind a platform of fakes. A test that needs a
// scheduler puts its own into fake.platform before SetUp.
class Outlook2003Machine : public RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        fake.platform.fileSystem = TargetFileSystem(scratch_.Native("root"));
        sample = std::make_unique<SampleEnvironment>("outlook2003-xp", *access_,
                                                     *fake.platform.fileSystem);
        fake.platform.registry = std::move(api_);
        fake.system.windowsVersion = "5.1";
        fake.system.variables["%UserProfile%"] = "C:\\Documents and Settings\\ann";
        fake.automation.version = "11.0";
    }
    void TearDown() override
    {
        sample.reset();
        RegistryFixture::TearDown();
    }

    FakePlatform fake;
    std::unique_ptr<SampleEnvironment> sample;
};

}  // namespace kestrel::testing
