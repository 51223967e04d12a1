// One suite for every RegistryApi backend: the SQLite store on Linux, advapi32 on Windows (Wine's
// registry under Wine); where they legitimately differ, each side is a named backend property.

#include <gmock/gmock.h>

#include <fstream>
#include <ostream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/CodePage.h"
#include "registry/RegistryFixture.h"
#include "support/NameCases.h"
#include "support/Wine.h"

#ifndef _WIN32
#include <sqlite3.h>
#endif

namespace kestrel {
namespace {

using namespace std::string_literals;
using Names = std::vector<std::string>;

constexpr long Ok = reg::Success;
constexpr long KeyDeleted = 1018;  // ERROR_KEY_DELETED
constexpr std::uint8_t Byte[] = {1};

// Windows and the store list values in creation order and sort subkeys by upper-cased name
// ("ab" before "a_", non-ASCII by code point); Wine lists values by name and sorts lower-cased.
// They need KEY_CREATE_SUB_KEY to create a subkey through a handle; Wine does not.
struct Backend {
    std::string name;
    bool valuesInCreationOrder, subkeysOrderedByUpperCase, createNeedsParentAccess;
    friend void PrintTo(const Backend& backend, std::ostream* out) { *out << backend.name; }
};

#ifdef _WIN32
const bool OnWine = testing::UnderWine();
const Backend TheBackend{OnWine ? "Wine" : "Windows", !OnWine, !OnWine, !OnWine};
#else
const Backend TheBackend{"SqliteStore", true, true, true};
#endif

struct Stored {
    long rc = Ok;
    std::uint32_t type = 0;
    std::string data, name;  // name: when enumerated
};

enum class Of { Subkeys, Values };

// Each test works under a scratch key of its own, held open in key_; handles left open close
// with the process or with the store object.
class RegistryTest : public testing::RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        ASSERT_EQ(Ok, api_->CreateKey(reg::HkeyCurrentUser, subKey_.c_str(), &key_));
    }

    reg::Key Create(const std::string& path, reg::Key parent = 0)
    {
        reg::Key key = 0;
        EXPECT_EQ(Ok, api_->CreateKey(parent ? parent : key_, path.c_str(), &key)) << path;
        return key;
    }

    long Open(const std::string& path, std::uint32_t access = reg::KeyRead, reg::Key parent = 0,
              reg::Key* out = nullptr)
    {
        reg::Key key = 0;
        return api_->OpenKeyEx(parent ? parent : key_, path.c_str(), access, out ? out : &key);
    }

    // Strings are written the way the program writes them: counted without their NUL.
    void Set(reg::Key key, const char* name, const std::string& bytes,
             std::uint32_t type = reg::TypeSz)
    {
        const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
        const auto size = static_cast<std::uint32_t>(bytes.size());
        EXPECT_EQ(Ok, api_->SetValueEx(key, name, type, data, size)) << (name ? name : "(default)");
    }

    Stored Query(reg::Key key, const char* name, RegistryApi* api = nullptr)
    {
        Stored stored;
        std::uint8_t data[300];
        std::uint32_t size = sizeof data;
        stored.rc = (api ? *api : *api_).QueryValueEx(key, name, &stored.type, data, &size);
        stored.data.assign(reinterpret_cast<char*>(data), stored.rc == Ok ? size : 0);
        return stored;
    }

    // One step of an enumeration: a subkey's name, or a value's name, type and data.
    Stored Enum(reg::Key key, Of what, std::uint32_t index)
    {
        Stored found;
        char name[300];
        std::uint32_t nameSize = sizeof name;
        std::uint8_t data[300];
        std::uint32_t dataSize = sizeof data;
        found.rc = what == Of::Values
                       ? api_->EnumValue(key, index, name, &nameSize, &found.type, data, &dataSize)
                       : api_->EnumKeyEx(key, index, name, &nameSize);
        if (found.rc == Ok) {
            found.name.assign(name, nameSize);
            found.data.assign(reinterpret_cast<char*>(data), what == Of::Values ? dataSize : 0);
        }
        return found;
    }

    Names List(reg::Key key, Of what)
    {
        Names names;
        Stored found;
        for (std::uint32_t index = 0; (found = Enum(key, what, index)).rc == Ok; ++index) {
            names.push_back(found.name);
        }
        EXPECT_EQ(reg::NoMoreItems, found.rc);
        return names;
    }

    reg::Key key_ = 0;
};

class RegistryConformance : public RegistryTest, public ::testing::WithParamInterface<Backend> {};

TEST_P(RegistryConformance, PathsNestAndMissingKeysAndValuesAreFileNotFound)
{
    EXPECT_EQ(reg::FileNotFound, Query(key_, nullptr).rc) << "a new key has no default value";
    Set(Create("One\\Two\\Three"), "Where", "deep");
    reg::Key reopened = 0;
    ASSERT_EQ(Ok, Open("one\\TWO\\three", reg::KeyRead, 0, &reopened));
    EXPECT_EQ("deep\0"s, Query(reopened, "Where").data);
    EXPECT_EQ(Names{"One"}, List(key_, Of::Subkeys));
    EXPECT_EQ(reg::AccessDenied, api_->DeleteKey(key_, "One\\Two"))
        << "it has a subkey, so it stays";
    EXPECT_EQ("deep\0"s, Query(Create("One\\Two\\Three"), "Where").data) << "created again";
    EXPECT_EQ(reg::FileNotFound, Open("One\\Absent"));
    EXPECT_EQ(reg::FileNotFound, api_->DeleteKey(key_, "Absent"));
    EXPECT_EQ(reg::FileNotFound, Query(key_, "Absent").rc);
    EXPECT_EQ(reg::FileNotFound, api_->DeleteValue(key_, "Absent"));
}

TEST_P(RegistryConformance, NamesIgnoreCaseAndKeepTheirSpelling)
{
    Names spellings;
    for (const auto& [utf8Spelling, utf8Other] : testing::CaseAliases) {
        const std::string spelling = Utf8ToAnsi(utf8Spelling);
        const std::string other = Utf8ToAnsi(utf8Other);
        Create(spelling);
        Create(other);
        Set(key_, spelling.c_str(), "first");
        Set(key_, other.c_str(), "second");
        EXPECT_EQ("second\0"s, Query(key_, spelling.c_str()).data) << utf8Spelling;
        spellings.push_back(spelling);
    }
    EXPECT_THAT(List(key_, Of::Subkeys), ::testing::UnorderedElementsAreArray(spellings))
        << "using another case neither renames nor duplicates";
    EXPECT_THAT(List(key_, Of::Values), ::testing::UnorderedElementsAreArray(spellings));
    for (const auto& alias : testing::CaseAliases) {
        EXPECT_EQ(Ok, api_->DeleteValue(key_, Utf8ToAnsi(alias.second).c_str()));
    }
    EXPECT_EQ(Names{}, List(key_, Of::Values));
    for (const auto& [one, other] : testing::DistinctNames) {
        Create(Utf8ToAnsi(one));
        EXPECT_EQ(reg::FileNotFound, Open(Utf8ToAnsi(other))) << one;
    }

    // The default value is the one with the empty name, however the name is passed.
    Set(key_, nullptr, "first");
    Set(key_, "", "second");
    EXPECT_EQ("second\0"s, Query(key_, nullptr).data);
    EXPECT_EQ(Names{""}, List(key_, Of::Values));
    EXPECT_EQ(Ok, api_->DeleteValue(key_, nullptr));
    EXPECT_EQ(reg::FileNotFound, Query(key_, "").rc);
}

TEST_P(RegistryConformance, EnumerationsFollowTheBackendsOrderAndTheCurrentList)
{
    for (const char* name : {"Zeta", "\x8A", "b", "a_", "\xE9", "A", "\xD7", "ab"}) {
        Create(name);
    }
    const Names byUpperCase = {"A", "ab", "a_", "b", "Zeta", "\xE9", "\xD7", "\x8A"};
    const Names byLowerCase = {"A", "a_", "ab", "b", "Zeta", "\xD7", "\xE9", "\x8A"};
    EXPECT_EQ(GetParam().subkeysOrderedByUpperCase ? byUpperCase : byLowerCase,
              List(key_, Of::Subkeys));

    for (const char* name : {"c", "a", "b", "A"}) {
        Set(key_, name, name);
    }
    const Names byName = {"a", "b", "c"};
    const bool byCreation = GetParam().valuesInCreationOrder;
    EXPECT_EQ((byCreation ? Names{"c", "a", "b"} : byName), List(key_, Of::Values))
        << "setting a value again keeps its place";
    ASSERT_EQ(Ok, api_->DeleteValue(key_, "a"));
    Set(key_, "a", "back");
    EXPECT_EQ((byCreation ? Names{"c", "b", "a"} : byName), List(key_, Of::Values))
        << "a value deleted and set again is new";

    // An index counts in the list as it is now, even in the middle of an enumeration.
    for (const Of what : {Of::Subkeys, Of::Values}) {
        const Names before = List(key_, what);
        ASSERT_EQ(before.at(0), Enum(key_, what, 0).name);
        ASSERT_EQ(Ok, what == Of::Values ? api_->DeleteValue(key_, before[0].c_str())
                                         : api_->DeleteKey(key_, before[0].c_str()));
        EXPECT_EQ(before.at(2), Enum(key_, what, 1).name);
    }
}

TEST_P(RegistryConformance, DataReadsBackAsWritten)
{
    // Strings written without their NUL gain it, counted as Win32 counts it; nothing else does.
    const std::vector<std::tuple<std::uint32_t, std::string, bool>> cases = {
        {reg::TypeSz, "C:\\Mail\\Outlook.pst", true},
        {reg::TypeSz, "counted with NUL\0"s, false},
        {reg::TypeSz, "R\xE9sum\xE9", true},
        {reg::TypeExpandSz, "%USERPROFILE%\\x.pst", true},
        {reg::TypeMultiSz, "one\0two"s, true},
        {reg::TypeMultiSz, "one\0two\0\0"s, false},
        {reg::TypeSz, "", false},
        {reg::TypeBinary, "\x00\xFF\x00\x01"s, false},
        {reg::TypeBinary, "", false},
        {reg::TypeDword, "\x44\x33\x22\x11", false},
        {reg::TypeDwordBigEndian, "\x11\x22\x33\x00"s, false},
        {reg::TypeQword, "\x01\x00\x00\x00\x00\x00\x00\x80"s, false},
        {reg::TypeNone, "x", false},
    };
    for (const auto& [type, written, nulAdded] : cases) {
        SCOPED_TRACE(::testing::Message() << "type " << type << ": " << written);
        const std::string expected = written + (nulAdded ? "\0"s : "");
        Set(key_, "v", written, type);
        for (const Stored& read : {Query(key_, "v"), Enum(key_, Of::Values, 0)}) {
            EXPECT_EQ(type, read.type);
            EXPECT_EQ(expected, read.data);
        }
    }
}

TEST_P(RegistryConformance, SmallBuffersGiveMoreDataAndTheSizeNeeded)
{
    Create("abcdef");
    Set(key_, "abcdef", "xyz");  // stored as 4 bytes
    constexpr long More = reg::MoreData;
    std::uint8_t data[16];
    const std::vector<std::tuple<bool, std::uint32_t, long>> queries = {
        {false, 16, Ok}, {true, 0, More}, {true, 3, More}, {true, 4, Ok}};
    for (const auto& [withData, capacity, rc] : queries) {
        SCOPED_TRACE(capacity);
        std::uint32_t size = capacity;
        EXPECT_EQ(rc,
                  api_->QueryValueEx(key_, "abcdef", nullptr, withData ? data : nullptr, &size));
        EXPECT_EQ(4u, size);
    }
    std::uint32_t type = 0;
    EXPECT_EQ(reg::InvalidParameter, api_->QueryValueEx(key_, "abcdef", &type, data, nullptr));
    EXPECT_EQ(Ok, api_->QueryValueEx(key_, "abcdef", &type, nullptr, nullptr));
    EXPECT_EQ(reg::TypeSz, type);

    // An enumerated name needs room for its NUL.
    char key[16], value[16];
    for (const auto& [capacity, rc] : {std::pair{6u, More}, std::pair{7u, Ok}}) {
        std::uint32_t keySize = capacity, valueSize = capacity;
        EXPECT_EQ(rc, api_->EnumKeyEx(key_, 0, key, &keySize)) << capacity;
        EXPECT_EQ(rc, api_->EnumValue(key_, 0, value, &valueSize, nullptr, nullptr, nullptr))
            << capacity;
    }
    EXPECT_STREQ("abcdef", key);
    EXPECT_STREQ("abcdef", value);
    std::uint32_t valueSize = sizeof value, size = 3;
    EXPECT_EQ(More, api_->EnumValue(key_, 0, value, &valueSize, nullptr, data, &size));
    EXPECT_EQ(4u, size);
}

TEST_P(RegistryConformance, HandlesAllowWhatTheirAccessGrants)
{
    Create("Target\\Sub");
    constexpr long No = reg::AccessDenied;
    const std::vector<std::tuple<std::uint32_t, long, long, long, long, long>> rows = {
        {reg::KeyRead, Ok, Ok, Ok, No, No},       {reg::KeyWrite, No, No, No, Ok, Ok},
        {reg::KeyQueryValue, Ok, No, Ok, No, No}, {reg::KeyEnumerateSubKeys, No, Ok, No, No, No},
        {reg::KeyAllAccess, Ok, Ok, Ok, Ok, Ok},
    };
    for (const auto& [access, query, enumKeys, enumValues, set, deleteValue] : rows) {
        SCOPED_TRACE(::testing::Message() << "access " << std::hex << access);
        Set(Create("Target"), "v", "x");
        reg::Key key = 0;
        ASSERT_EQ(Ok, Open("Target", access, 0, &key));
        EXPECT_EQ(query, Query(key, "v").rc);
        EXPECT_EQ(enumKeys, Enum(key, Of::Subkeys, 0).rc);
        EXPECT_EQ(enumValues, Enum(key, Of::Values, 0).rc);
        EXPECT_EQ(set, api_->SetValueEx(key, "w", reg::TypeBinary, Byte, 1));
        EXPECT_EQ(deleteValue, api_->DeleteValue(key, "v"));
    }

    reg::Key readOnly = 0;
    ASSERT_EQ(Ok, Open("Target", reg::KeyRead, 0, &readOnly));
    EXPECT_EQ(Ok, api_->SetValueEx(Create("sub", readOnly), "w", reg::TypeBinary, Byte, 1))
        << "CreateKey grants full access";
    reg::Key fresh = 0;
    EXPECT_EQ(GetParam().createNeedsParentAccess ? No : Ok,
              api_->CreateKey(readOnly, "Fresh", &fresh));
}

TEST_P(RegistryConformance, HandlesToDeletedOrClosedKeysFailCleanlyAndRootsAlwaysOpen)
{
    const reg::Key victim = Create("Victim");
    Set(victim, "v", "x");
    Create("Victim\\Inner");
    ASSERT_EQ(Ok, api_->DeleteKey(key_, "victim\\INNER"));
    ASSERT_EQ(Ok, api_->DeleteKey(key_, "Victim"));
    // A new key of the same name has none of the old values, and is not the one victim held.
    EXPECT_EQ(reg::FileNotFound, Query(Create("Victim"), "v").rc);

    reg::Key key = 0;
    EXPECT_EQ(KeyDeleted, Query(victim, "v").rc);
    EXPECT_EQ(KeyDeleted, api_->SetValueEx(victim, "w", reg::TypeBinary, Byte, 1));
    EXPECT_EQ(KeyDeleted, api_->DeleteValue(victim, "v"));
    EXPECT_EQ(KeyDeleted, Enum(victim, Of::Subkeys, 0).rc);
    EXPECT_EQ(KeyDeleted, Enum(victim, Of::Values, 0).rc);
    EXPECT_EQ(KeyDeleted, Open("Inner", reg::KeyRead, victim));
    EXPECT_EQ(KeyDeleted, Open("", reg::KeyRead, victim));
    EXPECT_EQ(KeyDeleted, api_->CreateKey(victim, "Inner", &key));

    ASSERT_EQ(Ok, Open("", reg::KeyRead, 0, &key));
    EXPECT_EQ(Ok, api_->CloseKey(key));
    EXPECT_EQ(reg::InvalidHandle, api_->CloseKey(key));
    EXPECT_EQ(reg::InvalidHandle, Query(key, "v").rc);

    for (const reg::Key root : {reg::HkeyClassesRoot, reg::HkeyCurrentUser, reg::HkeyLocalMachine,
                                reg::HkeyUsers, reg::HkeyCurrentConfig}) {
        EXPECT_EQ(Ok, Open("", reg::KeyRead, root)) << std::hex << root;
    }
    EXPECT_EQ(Ok, api_->CloseKey(reg::HkeyCurrentUser)) << "closing a root is a no-op";
    EXPECT_EQ(Ok, Open(subKey_, reg::KeyRead, reg::HkeyCurrentUser));
    EXPECT_EQ(reg::InvalidHandle, Open("x", reg::KeyRead, 0x80000007));
}

INSTANTIATE_TEST_SUITE_P(Backends, RegistryConformance, ::testing::Values(TheBackend),
                         ::testing::PrintToStringParamName());

#ifndef _WIN32

// What only the store has to show: several objects and processes share one file.
using SqliteRegistryStore = RegistryTest;

TEST_F(SqliteRegistryStore, TwoObjectsOnOneFileSeeEachOthersWrites)
{
    SqliteRegistry second(dbPath_);
    Create("b");
    const reg::Key mine = Create("d");
    reg::Key theirs = 0, added = 0;
    // The other direction: RegistryBatchConformance's reader.
    ASSERT_EQ(Ok, second.OpenKeyEx(reg::HkeyCurrentUser, (subKey_ + "\\D").c_str(),
                                   reg::KeyAllAccess, &theirs));
    ASSERT_EQ(Ok, second.SetValueEx(theirs, "v", reg::TypeBinary, Byte, 1));
    EXPECT_EQ("\x01", Query(mine, "v").data);

    // An enumeration under way must notice a key the other object adds before its position.
    ASSERT_EQ(Ok, Enum(key_, Of::Subkeys, 0).rc);
    ASSERT_EQ(Ok, second.CreateKey(reg::HkeyCurrentUser, (subKey_ + "\\a").c_str(), &added));
    EXPECT_EQ("b", Enum(key_, Of::Subkeys, 1).name);

    ASSERT_EQ(Ok, api_->DeleteKey(key_, "d"));
    EXPECT_EQ(KeyDeleted, Query(theirs, "v", &second).rc);
}

TEST_F(SqliteRegistryStore, AddsTheNulWithoutReadingPastTheCountAndLeavesNoOrphanValues)
{
    // Windows peeks at the byte after the count; the store must not.
    const std::uint8_t bytes[] = {'a', 'b', 'c', 'X'};
    ASSERT_EQ(Ok, api_->SetValueEx(Create("Doomed"), "v", reg::TypeSz, bytes, 3));
    EXPECT_EQ("abc\0"s, Query(Create("Doomed"), "v").data);
    ASSERT_EQ(Ok, api_->DeleteKey(key_, "Doomed"));
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
    EXPECT_THROW(SqliteRegistry(scratch_.Path("missing/registry.db")), std::runtime_error);
    api_.reset();
    std::ofstream(dbPath_) << "not a database, just text that is long enough to be read";
    EXPECT_THROW(SqliteRegistry{dbPath_}, std::runtime_error);
}

#endif

}  // namespace
}  // namespace kestrel
