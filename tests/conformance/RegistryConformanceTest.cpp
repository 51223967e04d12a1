// One suite for every RegistryApi backend: the SQLite store on Linux, advapi32 on Windows (and
// so Wine's registry when the Windows build runs under Wine). Where the backends legitimately
// differ, the difference is a named property of the backend and each side is asserted.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/RegistryApi.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "platform/win32/Win32Registry.h"
#else
#include <sqlite3.h>

#include "platform/posix/SqliteRegistry.h"
#endif

namespace kestrel {
namespace {

using namespace std::string_literals;

constexpr long KeyDeleted = 1018;  // ERROR_KEY_DELETED
constexpr const char* ScratchParent = "Software\\KestrelConformance";

struct Backend {
    std::string name;
    // Opens the backend; dbPath is a fresh file name for backends that keep one.
    std::function<std::unique_ptr<RegistryApi>(const std::string& dbPath)> open;
    bool usesFile;
    // Windows and the store list values in creation order, Wine by name.
    bool valuesInCreationOrder;
    // Windows and the store compare upper-cased names, so "ab" comes before "a_"; Wine compares
    // lower-cased names and lists "a_" first. Non-ASCII names sort by Unicode code point.
    bool subkeysOrderedByUpperCase;
    // Windows and the store refuse to create a subkey through a handle without
    // KEY_CREATE_SUB_KEY; Wine creates it.
    bool createNeedsParentAccess;
};

void PrintTo(const Backend& backend, std::ostream* out)
{
    *out << backend.name;
}

#ifdef _WIN32
bool RunningUnderWine()
{
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::vector<Backend> Backends()
{
    auto open = [](const std::string&) -> std::unique_ptr<RegistryApi> {
        return std::make_unique<Win32Registry>();
    };
    if (RunningUnderWine()) {
        return {{"Wine", open, false, false, false, false}};
    }
    return {{"Windows", open, false, true, true, true}};
}
#else
std::vector<Backend> Backends()
{
    auto open = [](const std::string& dbPath) -> std::unique_ptr<RegistryApi> {
        return std::make_unique<SqliteRegistry>(dbPath);
    };
    return {{"SqliteStore", open, true, true, true, true}};
}
#endif

std::string UniqueName()
{
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace_if(
        name.begin(), name.end(),
        [](char c) { return std::isalnum(static_cast<unsigned char>(c)) == 0; }, '_');
    return name + "_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
}

std::string TempPath(const std::string& stem)
{
    return (std::filesystem::temp_directory_path() / ("kestrel-reg-" + stem + ".db")).string();
}

void RemoveStore(const std::string& dbPath)
{
    std::error_code ignored;
    for (const char* suffix : {"", "-wal", "-shm"}) {
        std::filesystem::remove(dbPath + suffix, ignored);
    }
}

std::string Bytes(const void* data, std::uint32_t size)
{
    return std::string(static_cast<const char*>(data), size);
}

const std::uint8_t* Data(const std::string& bytes)
{
    return reinterpret_cast<const std::uint8_t*>(bytes.data());
}

struct Stored {
    long rc = reg::Success;
    std::uint32_t type = 0;
    std::string data;
};

// Helpers shared by the conformance suite and the store's own tests.
class RegistryTestBase {
protected:
    RegistryApi& Api() { return *api_; }

    reg::Key Create(const std::string& path, reg::Key parent = 0)
    {
        reg::Key key = 0;
        EXPECT_EQ(reg::Success, api_->CreateKey(parent ? parent : scratch_, path.c_str(), &key))
            << path;
        handles_.push_back(key);
        return key;
    }

    long Open(const std::string& path, std::uint32_t access, reg::Key& key, reg::Key parent = 0)
    {
        key = 0;
        const long rc = api_->OpenKeyEx(parent ? parent : scratch_, path.c_str(), access, &key);
        if (rc == reg::Success) {
            handles_.push_back(key);
        }
        return rc;
    }

    long Close(reg::Key key)
    {
        handles_.erase(std::remove(handles_.begin(), handles_.end(), key), handles_.end());
        return api_->CloseKey(key);
    }

    void Set(reg::Key key, const char* name, std::uint32_t type, const std::string& bytes)
    {
        EXPECT_EQ(reg::Success, api_->SetValueEx(key, name, type, Data(bytes),
                                                 static_cast<std::uint32_t>(bytes.size())))
            << (name ? name : "(default)");
    }

    // Written the way the program writes strings: counted without their NUL.
    void SetString(reg::Key key, const char* name, const std::string& text,
                   std::uint32_t type = reg::TypeSz)
    {
        Set(key, name, type, text);
    }

    // Asks for the size first, then reads with a buffer of exactly that size.
    Stored Query(reg::Key key, const char* name)
    {
        Stored stored;
        std::uint32_t size = 0;
        stored.rc = api_->QueryValueEx(key, name, &stored.type, nullptr, &size);
        if (stored.rc != reg::Success) {
            return stored;
        }
        std::vector<std::uint8_t> buffer(size);
        stored.rc = api_->QueryValueEx(key, name, &stored.type, buffer.data(), &size);
        stored.data = Bytes(buffer.data(), size);
        return stored;
    }

    std::vector<std::string> SubkeyNames(reg::Key key)
    {
        std::vector<std::string> names;
        for (std::uint32_t index = 0;; ++index) {
            char name[300];
            std::uint32_t size = sizeof name;
            const long rc = api_->EnumKeyEx(key, index, name, &size);
            if (rc != reg::Success) {
                EXPECT_EQ(reg::NoMoreItems, rc);
                return names;
            }
            names.emplace_back(name, size);
        }
    }

    std::vector<std::string> ValueNames(reg::Key key)
    {
        std::vector<std::string> names;
        for (std::uint32_t index = 0;; ++index) {
            char name[300];
            std::uint32_t size = sizeof name;
            const long rc = api_->EnumValue(key, index, name, &size, nullptr, nullptr, nullptr);
            if (rc != reg::Success) {
                EXPECT_EQ(reg::NoMoreItems, rc);
                return names;
            }
            names.emplace_back(name, size);
        }
    }

    void DeleteTree(reg::Key parent, const std::string& path)
    {
        reg::Key key = 0;
        if (api_->OpenKeyEx(parent, path.c_str(), reg::KeyAllAccess, &key) != reg::Success) {
            return;
        }
        for (const std::string& child : SubkeyNames(key)) {
            DeleteTree(key, child);
        }
        api_->CloseKey(key);
        api_->DeleteKey(parent, path.c_str());
    }

    void OpenScratch(std::unique_ptr<RegistryApi> api, const std::string& unique)
    {
        api_ = std::move(api);
        scratchPath_ = std::string(ScratchParent) + "\\" + unique;
        ASSERT_EQ(reg::Success,
                  api_->CreateKey(reg::HkeyCurrentUser, scratchPath_.c_str(), &scratch_));
    }

    void CloseScratch()
    {
        if (!api_) {
            return;
        }
        for (const reg::Key key : handles_) {
            api_->CloseKey(key);
        }
        handles_.clear();
        api_->CloseKey(scratch_);
        DeleteTree(reg::HkeyCurrentUser, scratchPath_);
        api_->DeleteKey(reg::HkeyCurrentUser, ScratchParent);  // refused while others use it
        api_.reset();
    }

    std::unique_ptr<RegistryApi> api_;
    std::string scratchPath_;
    reg::Key scratch_ = 0;
    std::vector<reg::Key> handles_;
};

class RegistryConformance : public ::testing::TestWithParam<Backend>, public RegistryTestBase {
protected:
    void SetUp() override
    {
        const std::string unique = UniqueName();
        if (GetParam().usesFile) {
            dbPath_ = TempPath(unique);
        }
        OpenScratch(GetParam().open(dbPath_), unique);
    }

    void TearDown() override
    {
        CloseScratch();
        if (!dbPath_.empty()) {
            RemoveStore(dbPath_);
        }
    }

    std::string dbPath_;
};

TEST_P(RegistryConformance, MissingKeysAndValuesAreFileNotFound)
{
    reg::Key key = 0;
    EXPECT_EQ(reg::FileNotFound, Open("Absent", reg::KeyRead, key));
    Create("Present");
    EXPECT_EQ(reg::FileNotFound, Open("Present\\Absent", reg::KeyRead, key));
    EXPECT_EQ(reg::FileNotFound, Api().DeleteKey(scratch_, "Absent"));
    EXPECT_EQ(reg::FileNotFound, Query(scratch_, "Absent").rc);
    EXPECT_EQ(reg::FileNotFound, Api().DeleteValue(scratch_, "Absent"));
    EXPECT_EQ(reg::FileNotFound, Query(scratch_, nullptr).rc) << "a new key has no default value";
}

TEST_P(RegistryConformance, PathsSpanSeveralLevelsAndCreateTheirParents)
{
    const reg::Key deep = Create("One\\Two\\Three");
    SetString(deep, "Where", "deep");
    reg::Key reopened = 0;
    ASSERT_EQ(reg::Success, Open("one\\TWO\\three", reg::KeyRead, reopened));
    EXPECT_EQ("deep\0"s, Query(reopened, "Where").data);
    EXPECT_EQ(std::vector<std::string>{"One"}, SubkeyNames(scratch_));
    reg::Key middle = 0;
    ASSERT_EQ(reg::Success, Open("One", reg::KeyRead, middle));
    EXPECT_EQ(std::vector<std::string>{"Two"}, SubkeyNames(middle));
    EXPECT_EQ("deep\0"s, Query(Create("One\\Two\\Three"), "Where").data) << "created again";
}

TEST_P(RegistryConformance, KeyNamesIgnoreCaseAndKeepTheirSpelling)
{
    struct Alias {
        std::string stored;
        std::string lookup;
    };
    // Windows-1252 letters whose cases sit far apart, besides ASCII.
    const std::vector<Alias> aliases = {
        {"Profiles", "PROFILES"},
        {"Outlook", "outlook"},
        {"\x8Akoda", "\x9AKODA"},                    // Š š
        {"\x8Cuvre", "\x9CUVRE"},                    // Œ œ
        {"\x8Ezeta", "\x9EZETA"},                    // Ž ž
        {"\x9F", "\xFF"},                            // Ÿ ÿ
        {"Caf\xC9 \xC0 \xDE", "cAF\xE9 \xE0 \xFE"},  // É À Þ / é à þ
    };
    for (const Alias& alias : aliases) {
        Create(alias.stored);
        reg::Key key = 0;
        EXPECT_EQ(reg::Success, Open(alias.lookup, reg::KeyRead, key)) << alias.lookup;
        Create(alias.lookup);
    }
    std::vector<std::string> expected;
    for (const Alias& alias : aliases) {
        expected.push_back(alias.stored);
    }
    std::vector<std::string> listed = SubkeyNames(scratch_);
    std::sort(expected.begin(), expected.end());
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(expected, listed) << "opening by another case neither renames nor duplicates";

    // × and ÷ sit among the letters in the code page but have no case.
    Create("\xD7");
    reg::Key key = 0;
    EXPECT_EQ(reg::FileNotFound, Open("\xF7", reg::KeyRead, key));
}

TEST_P(RegistryConformance, SubkeysEnumerateInCaseInsensitiveOrder)
{
    for (const char* name : {"Zeta", "\x8A", "b", "a_", "\xE9", "A", "\xD7", "ab"}) {
        Create(name);
    }
    const std::vector<std::string> byUpperCase = {"A",    "ab",   "a_",   "b",
                                                  "Zeta", "\xE9", "\xD7", "\x8A"};
    const std::vector<std::string> byLowerCase = {"A",    "a_",   "ab",   "b",
                                                  "Zeta", "\xD7", "\xE9", "\x8A"};
    EXPECT_EQ(GetParam().subkeysOrderedByUpperCase ? byUpperCase : byLowerCase,
              SubkeyNames(scratch_));
}

TEST_P(RegistryConformance, ValueNamesIgnoreCaseAndKeepTheirSpelling)
{
    SetString(scratch_, "Alpha", "one");
    SetString(scratch_, "ALPHA", "two");
    SetString(scratch_, "\xDCmlaut", "u");
    EXPECT_EQ("two\0"s, Query(scratch_, "alpha").data);
    EXPECT_EQ("u\0"s, Query(scratch_, "\xFCMLAUT").data);
    std::vector<std::string> names = ValueNames(scratch_);
    std::sort(names.begin(), names.end());
    EXPECT_EQ((std::vector<std::string>{"Alpha", "\xDCmlaut"}), names);
    EXPECT_EQ(reg::Success, Api().DeleteValue(scratch_, "aLPHA"));
    EXPECT_EQ(reg::FileNotFound, Query(scratch_, "Alpha").rc);
}

TEST_P(RegistryConformance, ValuesEnumerateInTheBackendsOrder)
{
    for (const char* name : {"c", "a", "b"}) {
        SetString(scratch_, name, name);
    }
    SetString(scratch_, "A", "again");
    const std::vector<std::string> byName = {"a", "b", "c"};
    const std::vector<std::string> byCreation = {"c", "a", "b"};
    EXPECT_EQ(GetParam().valuesInCreationOrder ? byCreation : byName, ValueNames(scratch_))
        << "setting a value again keeps its place";

    ASSERT_EQ(reg::Success, Api().DeleteValue(scratch_, "a"));
    SetString(scratch_, "a", "back");
    const std::vector<std::string> recreatedLast = {"c", "b", "a"};
    EXPECT_EQ(GetParam().valuesInCreationOrder ? recreatedLast : byName, ValueNames(scratch_))
        << "a value deleted and set again is new";
}

TEST_P(RegistryConformance, EnumerationIndexesTheCurrentList)
{
    for (const char* name : {"x", "y", "z"}) {
        SetString(scratch_, name, name);
        Create(name);
    }
    char name[16];
    std::uint32_t size = sizeof name;
    ASSERT_EQ(reg::Success, Api().EnumValue(scratch_, 0, name, &size, nullptr, nullptr, nullptr));
    ASSERT_EQ(reg::Success, Api().DeleteValue(scratch_, "x"));
    size = sizeof name;
    ASSERT_EQ(reg::Success, Api().EnumValue(scratch_, 1, name, &size, nullptr, nullptr, nullptr));
    EXPECT_EQ("z", std::string(name, size));

    size = sizeof name;
    ASSERT_EQ(reg::Success, Api().EnumKeyEx(scratch_, 0, name, &size));
    ASSERT_EQ(reg::Success, Api().DeleteKey(scratch_, "x"));
    size = sizeof name;
    ASSERT_EQ(reg::Success, Api().EnumKeyEx(scratch_, 1, name, &size));
    EXPECT_EQ("z", std::string(name, size));
}

TEST_P(RegistryConformance, DefaultValueHasAnEmptyName)
{
    SetString(scratch_, nullptr, "first");
    SetString(scratch_, "", "second");
    EXPECT_EQ("second\0"s, Query(scratch_, nullptr).data);
    EXPECT_EQ("second\0"s, Query(scratch_, "").data);
    EXPECT_EQ(std::vector<std::string>{""}, ValueNames(scratch_));
    EXPECT_EQ(reg::Success, Api().DeleteValue(scratch_, nullptr));
    EXPECT_EQ(reg::FileNotFound, Query(scratch_, "").rc);
}

TEST_P(RegistryConformance, StringDataReadsBackTerminated)
{
    struct Case {
        std::uint32_t type;
        std::string written;  // exactly the bytes counted
        std::string readBack;
    };
    const std::vector<Case> cases = {
        {reg::TypeSz, "C:\\Mail\\Outlook.pst", "C:\\Mail\\Outlook.pst\0"s},
        {reg::TypeSz, "counted with NUL\0"s, "counted with NUL\0"s},
        {reg::TypeSz, "R\xE9sum\xE9", "R\xE9sum\xE9\0"s},
        {reg::TypeExpandSz, "%USERPROFILE%\\x.pst", "%USERPROFILE%\\x.pst\0"s},
        {reg::TypeMultiSz, "one\0two"s, "one\0two\0"s},
        {reg::TypeMultiSz, "one\0two\0\0"s, "one\0two\0\0"s},
        {reg::TypeSz, "", ""},
    };
    for (const Case& c : cases) {
        Set(scratch_, "v", c.type, c.written);
        const Stored stored = Query(scratch_, "v");
        EXPECT_EQ(reg::Success, stored.rc);
        EXPECT_EQ(c.type, stored.type);
        EXPECT_EQ(c.readBack, stored.data) << "written: " << c.written;
    }
}

TEST_P(RegistryConformance, OtherDataIsByteExact)
{
    struct Case {
        std::uint32_t type;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {reg::TypeBinary, "\x00\xFF\x00\x01"s},
        {reg::TypeBinary, "ab"},  // no NUL appended to non-strings
        {reg::TypeBinary, ""},
        {reg::TypeDword, "\x44\x33\x22\x11"},
        {reg::TypeDwordBigEndian, "\x11\x22\x33\x00"s},
        {reg::TypeQword, "\x01\x00\x00\x00\x00\x00\x00\x80"s},
        {reg::TypeNone, "x"},
    };
    for (const Case& c : cases) {
        Set(scratch_, "v", c.type, c.bytes);
        const Stored stored = Query(scratch_, "v");
        EXPECT_EQ(reg::Success, stored.rc);
        EXPECT_EQ(c.type, stored.type);
        EXPECT_EQ(c.bytes, stored.data);

        char name[8];
        std::uint32_t nameSize = sizeof name;
        std::uint32_t type = 0;
        std::uint8_t data[16];
        std::uint32_t dataSize = sizeof data;
        ASSERT_EQ(reg::Success,
                  Api().EnumValue(scratch_, 0, name, &nameSize, &type, data, &dataSize));
        EXPECT_EQ(c.type, type);
        EXPECT_EQ(c.bytes, Bytes(data, dataSize));
    }
}

TEST_P(RegistryConformance, QueryValueReportsTheSizeItNeeds)
{
    SetString(scratch_, "s", "abcdef");  // stored as 7 bytes
    Set(scratch_, "b", reg::TypeBinary, "12345");
    struct Case {
        const char* name;
        bool withBuffer;
        std::uint32_t capacity;
        long rc;
        std::uint32_t size;
    };
    const std::vector<Case> cases = {
        {"s", false, 0, reg::Success, 7},  {"s", true, 6, reg::MoreData, 7},
        {"s", true, 7, reg::Success, 7},   {"s", true, 64, reg::Success, 7},
        {"b", true, 0, reg::MoreData, 5},  {"b", true, 4, reg::MoreData, 5},
        {"b", false, 64, reg::Success, 5}, {"b", true, 5, reg::Success, 5},
    };
    for (const Case& c : cases) {
        std::uint8_t buffer[64];
        std::uint32_t size = c.capacity;
        std::uint32_t type = 0;
        EXPECT_EQ(c.rc, Api().QueryValueEx(scratch_, c.name, &type, c.withBuffer ? buffer : nullptr,
                                           &size))
            << c.name << " in " << c.capacity;
        EXPECT_EQ(c.size, size) << c.name << " in " << c.capacity;
    }
    std::uint8_t buffer[8];
    std::uint32_t type = 0;
    EXPECT_EQ(reg::InvalidParameter, Api().QueryValueEx(scratch_, "s", &type, buffer, nullptr));
    EXPECT_EQ(reg::Success, Api().QueryValueEx(scratch_, "s", &type, nullptr, nullptr));
    EXPECT_EQ(reg::TypeSz, type);
}

TEST_P(RegistryConformance, EnumKeyNeedsRoomForTheNul)
{
    Create("abcdef");
    char name[16];
    std::uint32_t size = 6;
    EXPECT_EQ(reg::MoreData, Api().EnumKeyEx(scratch_, 0, name, &size));
    size = 7;
    ASSERT_EQ(reg::Success, Api().EnumKeyEx(scratch_, 0, name, &size));
    EXPECT_EQ(6u, size);
    EXPECT_STREQ("abcdef", name);
    size = sizeof name;
    EXPECT_EQ(reg::NoMoreItems, Api().EnumKeyEx(scratch_, 1, name, &size));
}

TEST_P(RegistryConformance, EnumValueReportsTooSmallBuffers)
{
    SetString(scratch_, "abcdef", "xyz");
    char name[16];
    std::uint32_t nameSize = 6;
    std::uint32_t type = 0;
    std::uint8_t data[16];
    std::uint32_t dataSize = sizeof data;
    EXPECT_EQ(reg::MoreData, Api().EnumValue(scratch_, 0, name, &nameSize, &type, data, &dataSize));

    nameSize = sizeof name;
    dataSize = 3;
    EXPECT_EQ(reg::MoreData, Api().EnumValue(scratch_, 0, name, &nameSize, &type, data, &dataSize));
    EXPECT_EQ(4u, dataSize);

    nameSize = 7;
    dataSize = 0;
    ASSERT_EQ(reg::Success,
              Api().EnumValue(scratch_, 0, name, &nameSize, &type, nullptr, &dataSize));
    EXPECT_EQ(std::string("abcdef"), std::string(name, nameSize));
    EXPECT_EQ(reg::TypeSz, type);
    EXPECT_EQ(4u, dataSize);

    nameSize = sizeof name;
    dataSize = sizeof data;
    ASSERT_EQ(reg::Success, Api().EnumValue(scratch_, 0, name, &nameSize, &type, data, &dataSize));
    EXPECT_EQ("xyz\0"s, Bytes(data, dataSize));
    EXPECT_EQ(reg::NoMoreItems,
              Api().EnumValue(scratch_, 1, name, &nameSize, &type, data, &dataSize));
}

TEST_P(RegistryConformance, HandlesAllowWhatTheirAccessGrants)
{
    const reg::Key target = Create("Target");
    Create("Sub", target);
    constexpr long Ok = reg::Success;
    constexpr long No = reg::AccessDenied;
    struct Row {
        std::uint32_t access;
        long query, enumKeys, enumValues, set, deleteValue;
    };
    const std::vector<Row> rows = {
        {reg::KeyRead, Ok, Ok, Ok, No, No},       {reg::KeyWrite, No, No, No, Ok, Ok},
        {reg::KeyQueryValue, Ok, No, Ok, No, No}, {reg::KeyEnumerateSubKeys, No, Ok, No, No, No},
        {reg::KeyAllAccess, Ok, Ok, Ok, Ok, Ok},
    };
    for (const Row& row : rows) {
        SetString(target, "v", "x");
        reg::Key key = 0;
        ASSERT_EQ(reg::Success, Open("Target", row.access, key));
        std::uint32_t size = 0;
        EXPECT_EQ(row.query, Api().QueryValueEx(key, "v", nullptr, nullptr, &size)) << row.access;
        char name[16];
        size = sizeof name;
        EXPECT_EQ(row.enumKeys, Api().EnumKeyEx(key, 0, name, &size)) << row.access;
        size = sizeof name;
        EXPECT_EQ(row.enumValues, Api().EnumValue(key, 0, name, &size, nullptr, nullptr, nullptr))
            << row.access;
        EXPECT_EQ(row.set, Api().SetValueEx(key, "w", reg::TypeBinary, Data("1"), 1)) << row.access;
        EXPECT_EQ(row.deleteValue, Api().DeleteValue(key, "v")) << row.access;
        Close(key);
    }

    reg::Key readOnly = 0;
    ASSERT_EQ(reg::Success, Open("Target", reg::KeyRead, readOnly));
    reg::Key sameKey = 0;
    ASSERT_EQ(reg::Success, Open("", reg::KeyRead, sameKey, readOnly));
    EXPECT_EQ(reg::AccessDenied, Api().SetValueEx(sameKey, "w", reg::TypeBinary, Data("1"), 1));

    reg::Key existing = 0;
    ASSERT_EQ(reg::Success, Api().CreateKey(readOnly, "sub", &existing));
    handles_.push_back(existing);
    EXPECT_EQ(reg::Success, Api().SetValueEx(existing, "w", reg::TypeBinary, Data("1"), 1))
        << "CreateKey grants full access";

    reg::Key fresh = 0;
    const long created = Api().CreateKey(readOnly, "Fresh", &fresh);
    if (created == reg::Success) {
        handles_.push_back(fresh);
    }
    EXPECT_EQ(GetParam().createNeedsParentAccess ? reg::AccessDenied : reg::Success, created);
}

TEST_P(RegistryConformance, DeleteKeyRefusesKeysWithSubkeysAndTakesTheValues)
{
    const reg::Key parent = Create("Parent");
    SetString(parent, "v", "x");
    Create("Parent\\Child");
    EXPECT_EQ(reg::AccessDenied, Api().DeleteKey(scratch_, "Parent"));
    reg::Key child = 0;
    EXPECT_EQ(reg::Success, Open("Parent\\Child", reg::KeyRead, child)) << "nothing was deleted";

    EXPECT_EQ(reg::Success, Api().DeleteKey(scratch_, "parent\\CHILD"));
    EXPECT_EQ(reg::Success, Api().DeleteKey(scratch_, "Parent"));
    const reg::Key again = Create("Parent");
    EXPECT_EQ(reg::FileNotFound, Query(again, "v").rc);
    EXPECT_TRUE(SubkeyNames(again).empty());
}

TEST_P(RegistryConformance, HandlesToDeletedOrClosedKeysFailCleanly)
{
    const reg::Key victim = Create("Victim");
    SetString(victim, "v", "x");
    Create("Victim\\Inner");
    ASSERT_EQ(reg::Success, Api().DeleteKey(scratch_, "Victim\\Inner"));
    ASSERT_EQ(reg::Success, Api().DeleteKey(scratch_, "Victim"));
    Create("Victim");  // a new key of the same name is not the one the handle held

    char name[16];
    std::uint32_t size = sizeof name;
    reg::Key key = 0;
    EXPECT_EQ(KeyDeleted, Query(victim, "v").rc);
    EXPECT_EQ(KeyDeleted, Api().SetValueEx(victim, "w", reg::TypeBinary, Data("1"), 1));
    EXPECT_EQ(KeyDeleted, Api().DeleteValue(victim, "v"));
    EXPECT_EQ(KeyDeleted, Api().EnumKeyEx(victim, 0, name, &size));
    EXPECT_EQ(KeyDeleted, Api().EnumValue(victim, 0, name, &size, nullptr, nullptr, nullptr));
    EXPECT_EQ(KeyDeleted, Open("Inner", reg::KeyRead, key, victim));
    EXPECT_EQ(KeyDeleted, Open("", reg::KeyRead, key, victim));
    EXPECT_EQ(KeyDeleted, Api().CreateKey(victim, "Inner", &key));

    EXPECT_EQ(reg::Success, Close(victim));
    EXPECT_EQ(reg::InvalidHandle, Api().CloseKey(victim));
    EXPECT_EQ(reg::InvalidHandle, Query(victim, "v").rc);
}

TEST_P(RegistryConformance, PredefinedRootsAlwaysOpen)
{
    for (const reg::Key root : {reg::HkeyClassesRoot, reg::HkeyCurrentUser, reg::HkeyLocalMachine,
                                reg::HkeyUsers, reg::HkeyCurrentConfig}) {
        reg::Key key = 0;
        EXPECT_EQ(reg::Success, Open("", reg::KeyRead, key, root)) << std::hex << root;
    }
    EXPECT_EQ(reg::Success, Api().CloseKey(reg::HkeyCurrentUser)) << "closing a root is a no-op";
    reg::Key scratch = 0;
    EXPECT_EQ(reg::Success, Open(scratchPath_, reg::KeyRead, scratch, reg::HkeyCurrentUser));
    reg::Key key = 0;
    EXPECT_EQ(reg::InvalidHandle, Api().OpenKeyEx(0x80000007, "x", reg::KeyRead, &key));
}

INSTANTIATE_TEST_SUITE_P(Backends, RegistryConformance, ::testing::ValuesIn(Backends()),
                         [](const ::testing::TestParamInfo<Backend>& backend) {
                             return backend.param.name;
                         });

#ifndef _WIN32

// What only the store has to show: several objects and processes share one file.
class SqliteRegistryStore : public ::testing::Test {
protected:
    void SetUp() override { dbPath_ = TempPath(UniqueName()); }
    void TearDown() override { RemoveStore(dbPath_); }
    std::string dbPath_;
};

TEST_F(SqliteRegistryStore, TwoObjectsOnOneFileSeeEachOthersWrites)
{
    SqliteRegistry first(dbPath_);
    SqliteRegistry second(dbPath_);
    reg::Key mine = 0;
    ASSERT_EQ(reg::Success, first.CreateKey(reg::HkeyCurrentUser, "Software\\Shared", &mine));
    ASSERT_EQ(reg::Success, first.SetValueEx(mine, "v", reg::TypeBinary, Data("1"), 1));
    for (const char* child : {"b", "d"}) {
        reg::Key key = 0;
        ASSERT_EQ(reg::Success, first.CreateKey(mine, child, &key));
        first.CloseKey(key);
    }

    reg::Key theirs = 0;
    ASSERT_EQ(reg::Success, second.OpenKeyEx(reg::HkeyCurrentUser, "software\\shared",
                                             reg::KeyAllAccess, &theirs));
    std::uint8_t data[4];
    std::uint32_t size = sizeof data;
    ASSERT_EQ(reg::Success, second.QueryValueEx(theirs, "v", nullptr, data, &size));
    EXPECT_EQ("1", Bytes(data, size));
    ASSERT_EQ(reg::Success, second.SetValueEx(theirs, "v", reg::TypeBinary, Data("2"), 1));
    size = sizeof data;
    ASSERT_EQ(reg::Success, first.QueryValueEx(mine, "v", nullptr, data, &size));
    EXPECT_EQ("2", Bytes(data, size));

    // An enumeration under way must notice a key the other object adds before its position.
    char name[8];
    size = sizeof name;
    ASSERT_EQ(reg::Success, first.EnumKeyEx(mine, 0, name, &size));
    reg::Key added = 0;
    ASSERT_EQ(reg::Success, second.CreateKey(theirs, "a", &added));
    size = sizeof name;
    ASSERT_EQ(reg::Success, first.EnumKeyEx(mine, 1, name, &size));
    EXPECT_EQ("b", std::string(name, size));

    second.CloseKey(added);
    ASSERT_EQ(reg::Success, second.DeleteKey(theirs, "a"));
    ASSERT_EQ(reg::Success, first.DeleteKey(mine, "b"));
    ASSERT_EQ(reg::Success, first.DeleteKey(mine, "d"));
    ASSERT_EQ(reg::Success, first.DeleteKey(reg::HkeyCurrentUser, "Software\\Shared"));
    size = sizeof data;
    EXPECT_EQ(KeyDeleted, second.QueryValueEx(theirs, "v", nullptr, data, &size));
}

TEST_F(SqliteRegistryStore, AddsTheNulWithoutReadingPastTheCount)
{
    SqliteRegistry store(dbPath_);
    const std::string bytes = "abcX";  // Windows peeks at the byte after the count; we do not
    ASSERT_EQ(reg::Success,
              store.SetValueEx(reg::HkeyCurrentUser, "v", reg::TypeSz, Data(bytes), 3));
    std::uint8_t data[8];
    std::uint32_t size = sizeof data;
    ASSERT_EQ(reg::Success, store.QueryValueEx(reg::HkeyCurrentUser, "v", nullptr, data, &size));
    EXPECT_EQ("abc\0"s, Bytes(data, size));
}

TEST_F(SqliteRegistryStore, DeletingAKeyLeavesNoValuesBehind)
{
    {
        SqliteRegistry store(dbPath_);
        reg::Key key = 0;
        ASSERT_EQ(reg::Success, store.CreateKey(reg::HkeyCurrentUser, "Doomed", &key));
        ASSERT_EQ(reg::Success, store.SetValueEx(key, "v", reg::TypeBinary, Data("1"), 1));
        store.CloseKey(key);
        ASSERT_EQ(reg::Success, store.DeleteKey(reg::HkeyCurrentUser, "Doomed"));
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(dbPath_.c_str(), &db));
    sqlite3_stmt* count = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM vals", -1, &count, nullptr));
    ASSERT_EQ(SQLITE_ROW, sqlite3_step(count));
    EXPECT_EQ(0, sqlite3_column_int(count, 0));
    sqlite3_finalize(count);
    sqlite3_close(db);
}

TEST_F(SqliteRegistryStore, RefusesFilesItCannotUse)
{
    EXPECT_THROW(SqliteRegistry(dbPath_ + ".missing-dir/registry.db"), std::runtime_error);
    std::ofstream(dbPath_) << "not a database, just text that is long enough to be read";
    EXPECT_THROW(SqliteRegistry{dbPath_}, std::runtime_error);
}

#endif

}  // namespace
}  // namespace kestrel
