// One suite for every RegistryApi backend: the SQLite store on Linux, advapi32 on Windows (and
// so Wine's registry when the Windows build runs under Wine). Where the backends legitimately
// differ, the difference is a named property of the backend and each side is asserted.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
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
using Names = std::vector<std::string>;

constexpr long KeyDeleted = 1018;  // ERROR_KEY_DELETED
constexpr const char* ScratchParent = "Software\\KestrelConformance";

struct Backend {
    std::string name;
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
std::unique_ptr<RegistryApi> OpenBackend(const std::string&)
{
    return std::make_unique<Win32Registry>();
}

std::vector<Backend> Backends()
{
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr) {
        return {{"Wine", false, false, false}};
    }
    return {{"Windows", true, true, true}};
}
#else
std::unique_ptr<RegistryApi> OpenBackend(const std::string& dbPath)
{
    return std::make_unique<SqliteRegistry>(dbPath);
}

std::vector<Backend> Backends()
{
    return {{"SqliteStore", true, true, true}};
}
#endif

std::string Bytes(const void* data, std::uint32_t size)
{
    return std::string(static_cast<const char*>(data), size);
}

const std::uint8_t* Data(const std::string& bytes)
{
    return reinterpret_cast<const std::uint8_t*>(bytes.data());
}

Names Sorted(Names names)
{
    std::sort(names.begin(), names.end());
    return names;
}

// Named after the running test; the time keeps repeated runs apart in a machine's registry.
// The file is only created by backends that keep one, and goes with SQLite's side files.
struct ScratchFile {
    static std::string UniqueName()
    {
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace_if(
            name.begin(), name.end(),
            [](char c) { return std::isalnum(static_cast<unsigned char>(c)) == 0; }, '_');
        return name + "_" +
               std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    }
    ~ScratchFile()
    {
        std::error_code ignored;
        for (const char* suffix : {"", "-wal", "-shm"}) {
            std::filesystem::remove(path + suffix, ignored);
        }
    }
    const std::string stem = UniqueName();
    const std::string path =
        (std::filesystem::temp_directory_path() / ("kestrel-reg-" + stem + ".db")).string();
};

struct Stored {
    long rc = reg::Success;
    std::uint32_t type = 0;
    std::string data;
};

// Each test works under a scratch key of its own, removed with everything under it.
class RegistryConformance : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        api_ = OpenBackend(file_.path);
        scratchPath_ = std::string(ScratchParent) + "\\" + file_.stem;
        ASSERT_EQ(reg::Success,
                  api_->CreateKey(reg::HkeyCurrentUser, scratchPath_.c_str(), &scratch_));
    }

    void TearDown() override
    {
        if (!api_) {
            return;
        }
        for (const reg::Key key : handles_) {
            api_->CloseKey(key);
        }
        api_->CloseKey(scratch_);
        DeleteTree(reg::HkeyCurrentUser, scratchPath_);
        api_->DeleteKey(reg::HkeyCurrentUser, ScratchParent);  // refused while others use it
    }

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
        handles_.push_back(key);
        return rc;
    }

    // Strings are written the way the program writes them: counted without their NUL.
    void Set(reg::Key key, const char* name, const std::string& bytes,
             std::uint32_t type = reg::TypeSz)
    {
        EXPECT_EQ(reg::Success, api_->SetValueEx(key, name, type, Data(bytes),
                                                 static_cast<std::uint32_t>(bytes.size())))
            << (name ? name : "(default)");
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

    // One step of the subkey or the value enumeration, with room for any name.
    long Enum(reg::Key key, bool values, std::uint32_t index, std::string& found)
    {
        char name[300];
        std::uint32_t size = sizeof name;
        const long rc = values ? api_->EnumValue(key, index, name, &size, nullptr, nullptr, nullptr)
                               : api_->EnumKeyEx(key, index, name, &size);
        found.assign(name, rc == reg::Success ? size : 0);
        return rc;
    }

    Names List(reg::Key key, bool values)
    {
        Names names;
        std::string name;
        long rc = reg::Success;
        while ((rc = Enum(key, values, static_cast<std::uint32_t>(names.size()), name)) ==
               reg::Success) {
            names.push_back(name);
        }
        EXPECT_EQ(reg::NoMoreItems, rc);
        return names;
    }
    Names Subkeys(reg::Key key) { return List(key, false); }
    Names Values(reg::Key key) { return List(key, true); }

    void DeleteTree(reg::Key parent, const std::string& path)
    {
        reg::Key key = 0;
        if (api_->OpenKeyEx(parent, path.c_str(), reg::KeyAllAccess, &key) != reg::Success) {
            return;
        }
        for (const std::string& child : Subkeys(key)) {
            DeleteTree(key, child);
        }
        api_->CloseKey(key);
        api_->DeleteKey(parent, path.c_str());
    }

    ScratchFile file_;  // outlives the backend that may hold it open
    std::unique_ptr<RegistryApi> api_;
    std::string scratchPath_;
    reg::Key scratch_ = 0;
    std::vector<reg::Key> handles_;
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
    Set(Create("One\\Two\\Three"), "Where", "deep");
    reg::Key reopened = 0;
    ASSERT_EQ(reg::Success, Open("one\\TWO\\three", reg::KeyRead, reopened));
    EXPECT_EQ("deep\0"s, Query(reopened, "Where").data);
    EXPECT_EQ(Names{"One"}, Subkeys(scratch_));
    EXPECT_EQ(Names{"Two"}, Subkeys(Create("One")));
    EXPECT_EQ("deep\0"s, Query(Create("One\\Two\\Three"), "Where").data) << "created again";
}

TEST_P(RegistryConformance, NamesIgnoreCaseAndKeepTheirSpelling)
{
    // A spelling and another case of it: Windows-1252 letters whose cases sit far apart,
    // besides ASCII.
    const std::vector<std::pair<std::string, std::string>> aliases = {
        {"Profiles", "PROFILES"},
        {"Outlook", "outlook"},
        {"\x8Akoda", "\x9AKODA"},                    // Š š
        {"\x8Cuvre", "\x9CUVRE"},                    // Œ œ
        {"\x8Ezeta", "\x9EZETA"},                    // Ž ž
        {"\x9F", "\xFF"},                            // Ÿ ÿ
        {"\xDCmlaut", "\xFCMLAUT"},                  // Ü ü
        {"Caf\xC9 \xC0 \xDE", "cAF\xE9 \xE0 \xFE"},  // É À Þ / é à þ
    };
    Names spellings;
    for (const auto& [spelling, other] : aliases) {
        Create(spelling);
        reg::Key key = 0;
        EXPECT_EQ(reg::Success, Open(other, reg::KeyRead, key)) << other;
        Create(other);
        Set(scratch_, spelling.c_str(), "first");
        Set(scratch_, other.c_str(), "second");
        EXPECT_EQ("second\0"s, Query(scratch_, spelling.c_str()).data) << spelling;
        spellings.push_back(spelling);
    }
    EXPECT_EQ(Sorted(spellings), Sorted(Subkeys(scratch_)))
        << "using another case neither renames nor duplicates";
    EXPECT_EQ(Sorted(spellings), Sorted(Values(scratch_)));
    for (const auto& alias : aliases) {
        EXPECT_EQ(reg::Success, Api().DeleteValue(scratch_, alias.second.c_str()));
    }
    EXPECT_TRUE(Values(scratch_).empty());

    // × and ÷ sit among the letters in the code page but have no case.
    Create("\xD7");
    Set(scratch_, "\xD7", "x");
    reg::Key key = 0;
    EXPECT_EQ(reg::FileNotFound, Open("\xF7", reg::KeyRead, key));
    EXPECT_EQ(reg::FileNotFound, Query(scratch_, "\xF7").rc);
}

TEST_P(RegistryConformance, SubkeysEnumerateInCaseInsensitiveOrder)
{
    for (const char* name : {"Zeta", "\x8A", "b", "a_", "\xE9", "A", "\xD7", "ab"}) {
        Create(name);
    }
    const Names byUpperCase = {"A", "ab", "a_", "b", "Zeta", "\xE9", "\xD7", "\x8A"};
    const Names byLowerCase = {"A", "a_", "ab", "b", "Zeta", "\xD7", "\xE9", "\x8A"};
    EXPECT_EQ(GetParam().subkeysOrderedByUpperCase ? byUpperCase : byLowerCase, Subkeys(scratch_));
}

TEST_P(RegistryConformance, ValuesEnumerateInTheBackendsOrder)
{
    for (const char* name : {"c", "a", "b", "A"}) {
        Set(scratch_, name, name);
    }
    const Names byName = {"a", "b", "c"};
    const bool byCreation = GetParam().valuesInCreationOrder;
    EXPECT_EQ((byCreation ? Names{"c", "a", "b"} : byName), Values(scratch_))
        << "setting a value again keeps its place";
    ASSERT_EQ(reg::Success, Api().DeleteValue(scratch_, "a"));
    Set(scratch_, "a", "back");
    EXPECT_EQ((byCreation ? Names{"c", "b", "a"} : byName), Values(scratch_))
        << "a value deleted and set again is new";
}

TEST_P(RegistryConformance, EnumerationIndexesTheCurrentList)
{
    for (const char* name : {"x", "y", "z"}) {
        Set(scratch_, name, name);
        Create(name);
    }
    for (const bool values : {true, false}) {
        std::string name;
        ASSERT_EQ(reg::Success, Enum(scratch_, values, 0, name));
        ASSERT_EQ(reg::Success,
                  values ? Api().DeleteValue(scratch_, "x") : Api().DeleteKey(scratch_, "x"));
        ASSERT_EQ(reg::Success, Enum(scratch_, values, 1, name));
        EXPECT_EQ("z", name) << (values ? "values" : "subkeys");
    }
}

TEST_P(RegistryConformance, DefaultValueHasAnEmptyName)
{
    Set(scratch_, nullptr, "first");
    Set(scratch_, "", "second");
    EXPECT_EQ("second\0"s, Query(scratch_, nullptr).data);
    EXPECT_EQ(Names{""}, Values(scratch_));
    EXPECT_EQ(reg::Success, Api().DeleteValue(scratch_, nullptr));
    EXPECT_EQ(reg::FileNotFound, Query(scratch_, "").rc);
}

TEST_P(RegistryConformance, DataReadsBackAsWritten)
{
    // String data written without its NUL reads back terminated, the NUL counted as Win32
    // counts it; nothing else gains a byte.
    struct Case {
        std::uint32_t type;
        std::string written;
        bool nulAdded;
    };
    const std::vector<Case> cases = {
        {reg::TypeSz, "C:\\Mail\\Outlook.pst", true},
        {reg::TypeSz, "counted with NUL\0"s, false},
        {reg::TypeSz, "R\xE9sum\xE9", true},
        {reg::TypeExpandSz, "%USERPROFILE%\\x.pst", true},
        {reg::TypeMultiSz, "one\0two"s, true},
        {reg::TypeMultiSz, "one\0two\0\0"s, false},
        {reg::TypeSz, "", false},
        {reg::TypeBinary, "\x00\xFF\x00\x01"s, false},
        {reg::TypeBinary, "ab", false},
        {reg::TypeBinary, "", false},
        {reg::TypeDword, "\x44\x33\x22\x11", false},
        {reg::TypeDwordBigEndian, "\x11\x22\x33\x00"s, false},
        {reg::TypeQword, "\x01\x00\x00\x00\x00\x00\x00\x80"s, false},
        {reg::TypeNone, "x", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "type " << c.type << ": " << c.written);
        const std::string expected = c.written + (c.nulAdded ? "\0"s : "");
        Set(scratch_, "v", c.written, c.type);
        const Stored stored = Query(scratch_, "v");
        EXPECT_EQ(reg::Success, stored.rc);
        EXPECT_EQ(c.type, stored.type);
        EXPECT_EQ(expected, stored.data);

        char name[8];
        std::uint32_t nameSize = sizeof name;
        std::uint32_t type = 0;
        std::uint8_t data[64];
        std::uint32_t dataSize = sizeof data;
        ASSERT_EQ(reg::Success,
                  Api().EnumValue(scratch_, 0, name, &nameSize, &type, data, &dataSize));
        EXPECT_EQ(c.type, type);
        EXPECT_EQ(expected, Bytes(data, dataSize)) << "enumerated";
    }
}

TEST_P(RegistryConformance, QueryValueReportsTheSizeItNeeds)
{
    Set(scratch_, "s", "abcdef");  // stored as 7 bytes
    Set(scratch_, "b", "12345", reg::TypeBinary);
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
        EXPECT_EQ(c.rc, Api().QueryValueEx(scratch_, c.name, nullptr,
                                           c.withBuffer ? buffer : nullptr, &size))
            << c.name << " in " << c.capacity;
        EXPECT_EQ(c.size, size) << c.name << " in " << c.capacity;
    }
    std::uint8_t buffer[8];
    std::uint32_t type = 0;
    EXPECT_EQ(reg::InvalidParameter, Api().QueryValueEx(scratch_, "s", &type, buffer, nullptr));
    EXPECT_EQ(reg::Success, Api().QueryValueEx(scratch_, "s", &type, nullptr, nullptr));
    EXPECT_EQ(reg::TypeSz, type);
}

TEST_P(RegistryConformance, EnumerationsNeedRoomForTheNulAndReportTheDataSize)
{
    Create("abcdef");
    Set(scratch_, "abcdef", "xyz");  // stored as 4 bytes
    struct Case {
        bool value;
        std::uint32_t nameCapacity;
        bool withData;
        std::uint32_t dataCapacity;
        long rc;
        std::uint32_t dataSize;  // 0: not asserted
    };
    const std::vector<Case> cases = {
        {false, 6, false, 0, reg::MoreData, 0}, {false, 7, false, 0, reg::Success, 0},
        {true, 6, true, 16, reg::MoreData, 0},  {true, 16, true, 3, reg::MoreData, 4},
        {true, 7, false, 0, reg::Success, 4},   {true, 16, true, 16, reg::Success, 4},
    };
    for (const Case& c : cases) {
        char name[16];
        std::uint32_t nameSize = c.nameCapacity;
        std::uint32_t type = 0;
        std::uint8_t data[16];
        std::uint32_t dataSize = c.dataCapacity;
        const long rc = c.value ? Api().EnumValue(scratch_, 0, name, &nameSize, &type,
                                                  c.withData ? data : nullptr, &dataSize)
                                : Api().EnumKeyEx(scratch_, 0, name, &nameSize);
        SCOPED_TRACE(::testing::Message() << (c.value ? "value" : "key") << " in " << c.nameCapacity
                                          << "/" << c.dataCapacity);
        EXPECT_EQ(c.rc, rc);
        if (c.dataSize != 0) {
            EXPECT_EQ(c.dataSize, dataSize);
        }
        if (rc == reg::Success) {
            EXPECT_STREQ("abcdef", name);
            EXPECT_EQ(6u, nameSize);
            EXPECT_EQ(c.value ? reg::TypeSz : 0u, type);
        }
        if (rc == reg::Success && c.withData) {
            EXPECT_EQ("xyz\0"s, Bytes(data, dataSize));
        }
    }
    std::string name;
    EXPECT_EQ(reg::NoMoreItems, Enum(scratch_, false, 1, name));
    EXPECT_EQ(reg::NoMoreItems, Enum(scratch_, true, 1, name));
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
        Set(target, "v", "x");
        reg::Key key = 0;
        ASSERT_EQ(reg::Success, Open("Target", row.access, key));
        SCOPED_TRACE(::testing::Message() << "access " << std::hex << row.access);
        std::string name;
        EXPECT_EQ(row.query, Query(key, "v").rc);
        EXPECT_EQ(row.enumKeys, Enum(key, false, 0, name));
        EXPECT_EQ(row.enumValues, Enum(key, true, 0, name));
        EXPECT_EQ(row.set, Api().SetValueEx(key, "w", reg::TypeBinary, Data("1"), 1));
        EXPECT_EQ(row.deleteValue, Api().DeleteValue(key, "v"));
    }

    reg::Key readOnly = 0;
    ASSERT_EQ(reg::Success, Open("Target", reg::KeyRead, readOnly));
    EXPECT_EQ(reg::Success,
              Api().SetValueEx(Create("sub", readOnly), "w", reg::TypeBinary, Data("1"), 1))
        << "CreateKey grants full access";
    reg::Key fresh = 0;
    const long created = Api().CreateKey(readOnly, "Fresh", &fresh);
    handles_.push_back(fresh);
    EXPECT_EQ(GetParam().createNeedsParentAccess ? reg::AccessDenied : reg::Success, created);
}

TEST_P(RegistryConformance, DeleteKeyRefusesKeysWithSubkeysAndTakesTheValues)
{
    Set(Create("Parent"), "v", "x");
    Create("Parent\\Child");
    EXPECT_EQ(reg::AccessDenied, Api().DeleteKey(scratch_, "Parent"));
    EXPECT_EQ(Names{"Child"}, Subkeys(Create("Parent"))) << "nothing was deleted";

    EXPECT_EQ(reg::Success, Api().DeleteKey(scratch_, "parent\\CHILD"));
    EXPECT_EQ(reg::Success, Api().DeleteKey(scratch_, "Parent"));
    const reg::Key again = Create("Parent");
    EXPECT_EQ(reg::FileNotFound, Query(again, "v").rc);
    EXPECT_TRUE(Subkeys(again).empty());
}

TEST_P(RegistryConformance, HandlesToDeletedOrClosedKeysFailCleanly)
{
    const reg::Key victim = Create("Victim");
    Set(victim, "v", "x");
    Create("Victim\\Inner");
    ASSERT_EQ(reg::Success, Api().DeleteKey(scratch_, "Victim\\Inner"));
    ASSERT_EQ(reg::Success, Api().DeleteKey(scratch_, "Victim"));
    Create("Victim");  // a new key of the same name is not the one the handle held

    std::string name;
    reg::Key key = 0;
    EXPECT_EQ(KeyDeleted, Query(victim, "v").rc);
    EXPECT_EQ(KeyDeleted, Api().SetValueEx(victim, "w", reg::TypeBinary, Data("1"), 1));
    EXPECT_EQ(KeyDeleted, Api().DeleteValue(victim, "v"));
    EXPECT_EQ(KeyDeleted, Enum(victim, false, 0, name));
    EXPECT_EQ(KeyDeleted, Enum(victim, true, 0, name));
    EXPECT_EQ(KeyDeleted, Open("Inner", reg::KeyRead, key, victim));
    EXPECT_EQ(KeyDeleted, Open("", reg::KeyRead, key, victim));
    EXPECT_EQ(KeyDeleted, Api().CreateKey(victim, "Inner", &key));

    // Nothing is opened before TearDown closes it again, so no other key can get its number.
    EXPECT_EQ(reg::Success, Api().CloseKey(victim));
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
    reg::Key key = 0;
    EXPECT_EQ(reg::Success, Open(scratchPath_, reg::KeyRead, key, reg::HkeyCurrentUser));
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
    ScratchFile file_;
};

TEST_F(SqliteRegistryStore, TwoObjectsOnOneFileSeeEachOthersWrites)
{
    SqliteRegistry first(file_.path);
    SqliteRegistry second(file_.path);
    reg::Key mine = 0;
    reg::Key theirs = 0;
    ASSERT_EQ(reg::Success, first.CreateKey(reg::HkeyCurrentUser, "Software\\Shared", &mine));
    ASSERT_EQ(reg::Success, first.SetValueEx(mine, "v", reg::TypeBinary, Data("1"), 1));
    for (const char* child : {"b", "d"}) {
        reg::Key key = 0;
        ASSERT_EQ(reg::Success, first.CreateKey(mine, child, &key));
        first.CloseKey(key);
    }
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

    for (const char* child : {"a", "b", "d"}) {
        ASSERT_EQ(reg::Success, first.DeleteKey(mine, child));
    }
    ASSERT_EQ(reg::Success, first.DeleteKey(reg::HkeyCurrentUser, "Software\\Shared"));
    size = sizeof data;
    EXPECT_EQ(KeyDeleted, second.QueryValueEx(theirs, "v", nullptr, data, &size));
}

TEST_F(SqliteRegistryStore, AddsTheNulWithoutReadingPastTheCount)
{
    SqliteRegistry store(file_.path);
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
        SqliteRegistry store(file_.path);
        reg::Key key = 0;
        ASSERT_EQ(reg::Success, store.CreateKey(reg::HkeyCurrentUser, "Doomed", &key));
        ASSERT_EQ(reg::Success, store.SetValueEx(key, "v", reg::TypeBinary, Data("1"), 1));
        store.CloseKey(key);
        ASSERT_EQ(reg::Success, store.DeleteKey(reg::HkeyCurrentUser, "Doomed"));
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(file_.path.c_str(), &db));
    sqlite3_stmt* count = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM vals", -1, &count, nullptr));
    ASSERT_EQ(SQLITE_ROW, sqlite3_step(count));
    EXPECT_EQ(0, sqlite3_column_int(count, 0));
    sqlite3_finalize(count);
    sqlite3_close(db);
}

TEST_F(SqliteRegistryStore, RefusesFilesItCannotUse)
{
    EXPECT_THROW(SqliteRegistry(file_.path + ".missing-dir/registry.db"), std::runtime_error);
    std::ofstream(file_.path) << "not a database, just text that is long enough to be read";
    EXPECT_THROW(SqliteRegistry{file_.path}, std::runtime_error);
}

#endif

}  // namespace
}  // namespace kestrel
