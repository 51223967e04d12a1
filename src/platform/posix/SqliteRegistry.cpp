#include "platform/posix/SqliteRegistry.h"

#include <sqlite3.h>

#include <array>
#include <cstring>
#include <stdexcept>

#include "platform/NameCase.h"
#include "platform/Windows1252.h"
#include "platform/posix/PrivateFile.h"

namespace kestrel {

namespace {

constexpr long BadPathname = 161;        // ERROR_BAD_PATHNAME
constexpr long RegistryIoFailed = 1016;  // ERROR_REGISTRY_IO_FAILED
constexpr long KeyDeleted = 1018;        // ERROR_KEY_DELETED

constexpr std::uint32_t MaximumAllowed = 0x02000000;
constexpr std::uint32_t GenericAll = 0x10000000;
constexpr std::uint32_t GenericExecute = 0x20000000;
constexpr std::uint32_t GenericWrite = 0x40000000;
constexpr std::uint32_t GenericRead = 0x80000000;

constexpr int BusyTimeoutMs = 5000;
constexpr int SchemaVersion = 1;

// The predefined roots are rows with fixed ids: the handle's offset from HKEY_CLASSES_ROOT,
// plus one. AUTOINCREMENT keeps ids of deleted keys from coming back, so a stale handle can
// never reach a newer key that happens to get the same id.
constexpr std::array<reg::Key, 5> RootHandles = {reg::HkeyClassesRoot, reg::HkeyCurrentUser,
                                                 reg::HkeyLocalMachine, reg::HkeyUsers,
                                                 reg::HkeyCurrentConfig};

std::int64_t RootId(reg::Key root)
{
    return static_cast<std::int64_t>(root - reg::HkeyClassesRoot) + 1;
}

constexpr const char* SchemaSql = R"sql(
CREATE TABLE IF NOT EXISTS keys(
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    parent INTEGER REFERENCES keys(id),
    name BLOB NOT NULL,
    fold BLOB NOT NULL,
    UNIQUE(parent, fold));
CREATE TABLE IF NOT EXISTS vals(
    key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,
    id INTEGER NOT NULL,
    name BLOB NOT NULL,
    fold BLOB NOT NULL,
    type INTEGER NOT NULL,
    data BLOB NOT NULL,
    PRIMARY KEY(key, id),
    UNIQUE(key, fold)) WITHOUT ROWID;
INSERT OR IGNORE INTO keys(id, parent, name, fold) VALUES
    (1, NULL, 'HKEY_CLASSES_ROOT', ''),
    (2, NULL, 'HKEY_CURRENT_USER', ''),
    (3, NULL, 'HKEY_LOCAL_MACHINE', ''),
    (4, NULL, 'HKEY_USERS', ''),
    (6, NULL, 'HKEY_CURRENT_CONFIG', '');
)sql";

enum StatementId : std::size_t {
    FindChildSql,
    KeyExistsSql,
    InsertKeySql,
    HasChildrenSql,
    DeleteKeySql,
    GetValueSql,
    UpsertValueSql,
    DeleteValueSql,
    SubkeyAtSql,
    SubkeyAfterSql,
    ValueAtSql,
    ValueAfterSql,
    BeginSql,
    CommitSql,
    RollbackSql,
    DataVersionSql,
    StatementCount
};

constexpr std::array<const char*, StatementCount> StatementSql = {
    "SELECT id FROM keys WHERE parent = ?1 AND fold = ?2",
    "SELECT 1 FROM keys WHERE id = ?1",
    "INSERT INTO keys(parent, name, fold) VALUES (?1, ?2, ?3)",
    "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1",
    "DELETE FROM keys WHERE id = ?1",
    "SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2",
    // Values are clustered by key in creation order (id), so enumeration reads them in
    // place. An existing value keeps its row, hence its place in that order and its name.
    "INSERT INTO vals(key, id, name, fold, type, data) VALUES (?1, "
    "(SELECT IFNULL(MAX(id), 0) + 1 FROM vals WHERE key = ?1), ?2, ?3, ?4, ?5) "
    "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data",
    "DELETE FROM vals WHERE key = ?1 AND fold = ?2",
    "SELECT name, fold FROM keys WHERE parent = ?1 ORDER BY fold LIMIT 1 OFFSET ?2",
    "SELECT name, fold FROM keys WHERE parent = ?1 AND fold > ?2 ORDER BY fold LIMIT 1",
    "SELECT id, name, type, data FROM vals WHERE key = ?1 ORDER BY id LIMIT 1 OFFSET ?2",
    "SELECT id, name, type, data FROM vals WHERE key = ?1 AND id > ?2 ORDER BY id LIMIT 1",
    "BEGIN IMMEDIATE",
    "COMMIT",
    "ROLLBACK",
    "PRAGMA data_version",
};

// Thrown inside the class only; every entry point turns it into a Win32 result.
struct StoreFailure {
    int sqliteCode;
};

// Binds and steps one cached statement, and always resets it: a statement left mid-result
// would hold its read snapshot open and hide other connections' writes.
class Use {
public:
    explicit Use(sqlite3_stmt* stmt) : stmt_(stmt) {}
    ~Use() { sqlite3_reset(stmt_); }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;

    Use& Bind(int index, std::int64_t value)
    {
        Check(sqlite3_bind_int64(stmt_, index, value));
        return *this;
    }
    // A zero-length blob needs a non-null pointer, or SQLite binds NULL instead.
    Use& Bind(int index, std::string_view bytes)
    {
        Check(sqlite3_bind_blob(stmt_, index, bytes.empty() ? "" : bytes.data(),
                                static_cast<int>(bytes.size()), nullptr));
        return *this;
    }
    // True when a row came back.
    bool Step()
    {
        const int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW) {
            return true;
        }
        if (rc != SQLITE_DONE) {
            throw StoreFailure{rc};
        }
        return false;
    }
    std::int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }
    std::string Blob(int column) const
    {
        const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt_, column));
        const int size = sqlite3_column_bytes(stmt_, column);
        return bytes == nullptr ? std::string() : std::string(bytes, static_cast<size_t>(size));
    }

private:
    static void Check(int rc)
    {
        if (rc != SQLITE_OK) {
            throw StoreFailure{rc};
        }
    }
    sqlite3_stmt* stmt_;
};

// The comparison key of a name (Windows-1252 bytes): its characters folded by the program's
// one rule for names, as big-endian UTF-16, so that SQLite's byte order of blobs is the order
// Windows enumerates subkeys in (by Unicode code point of the upper-cased name, which puts Š
// after Ý although its code-page byte is lower). Stores hold these keys, so the rule must not
// change under them.
std::string FoldName(std::string_view name)
{
    std::string fold;
    fold.reserve(name.size() * 2);
    for (const char ch : name) {
        const char32_t unit = FoldCase(FromWindows1252(static_cast<unsigned char>(ch)));
        fold.push_back(static_cast<char>(unit >> 8));
        fold.push_back(static_cast<char>(unit & 0xFF));
    }
    return fold;
}

std::string_view NameOf(const char* name)
{
    return name == nullptr ? std::string_view() : std::string_view(name);
}

// Splits a relative key path. Runs of backslashes and a trailing one are tolerated as Wine
// and Windows tolerate them; a leading one is refused as they refuse it.
bool SplitPath(std::string_view path, std::vector<std::string_view>& parts)
{
    if (!path.empty() && path.front() == '\\') {
        return false;
    }
    while (!path.empty()) {
        const size_t end = path.find('\\');
        const std::string_view part = path.substr(0, end);
        if (!part.empty()) {
            parts.push_back(part);
        }
        path = end == std::string_view::npos ? std::string_view() : path.substr(end + 1);
    }
    return true;
}

std::uint32_t GrantedAccess(std::uint32_t desired)
{
    if ((desired & (MaximumAllowed | GenericAll)) != 0) {
        return reg::KeyAllAccess;
    }
    std::uint32_t granted = desired & reg::KeyAllAccess;
    if ((desired & (GenericRead | GenericExecute)) != 0) {
        granted |= reg::KeyRead;
    }
    if ((desired & GenericWrite) != 0) {
        granted |= reg::KeyWrite;
    }
    return granted;
}

bool IsPredefined(reg::Key key)
{
    return key >= reg::HkeyClassesRoot && key <= reg::HkeyDynData;
}

// Windows appends a NUL to string data that lacks one when the caller's buffer has room,
// without counting it.
void CopyData(const std::string& stored, std::uint32_t type, std::uint8_t* data,
              std::uint32_t capacity)
{
    std::memcpy(data, stored.data(), stored.size());
    if (reg::IsStringType(type) && !stored.empty() && stored.back() != '\0' &&
        stored.size() < capacity) {
        data[stored.size()] = 0;
    }
}

// Copies a name with its NUL if the buffer (size in characters, NUL included) can hold it.
bool CopyName(const std::string& stored, char* name, std::uint32_t* nameSize)
{
    if (stored.size() >= *nameSize) {
        return false;
    }
    std::memcpy(name, stored.data(), stored.size());
    name[stored.size()] = '\0';
    *nameSize = static_cast<std::uint32_t>(stored.size());
    return true;
}

}  // namespace

SqliteRegistry::SqliteRegistry(const std::string& dbPath)
{
    auto fail = [&](const char* what) {
        std::string message = "cannot open the registry store " + dbPath + ": " + what;
        if (db_ != nullptr) {
            message += std::string(" (") + sqlite3_errmsg(db_) + ")";
        }
        for (sqlite3_stmt* stmt : statements_) {
            sqlite3_finalize(stmt);
        }
        sqlite3_close(db_);
        db_ = nullptr;
        throw std::runtime_error(message);
    };
    // The store's write-ahead log and index take the store's own mode, so they are private too.
    if (!MakePrivateFile(dbPath)) {
        fail("it cannot be made private to its user");
    }
    if (sqlite3_open_v2(dbPath.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK) {
        fail("open failed");
    }
    sqlite3_busy_timeout(db_, BusyTimeoutMs);
    // WAL lets a reader and a writer in another process proceed together. With WAL, NORMAL
    // syncs only at checkpoints: a power cut may lose the last writes but never corrupts the
    // file. Every call commits on its own, rewriting a few whole pages into the WAL, so small
    // pages and less frequent checkpoints (each one syncs) are what keep an import of
    // thousands of values fast. page_size only takes effect on a new file.
    if (sqlite3_exec(db_,
                     "PRAGMA page_size=1024; PRAGMA journal_mode=WAL; "
                     "PRAGMA synchronous=NORMAL; PRAGMA wal_autocheckpoint=10000; "
                     "PRAGMA foreign_keys=ON;",
                     nullptr, nullptr, nullptr) != SQLITE_OK) {
        fail("cannot set up the connection");
    }
    const std::string schema = std::string("BEGIN IMMEDIATE;") + SchemaSql +
                               "PRAGMA user_version=" + std::to_string(SchemaVersion) + "; COMMIT;";
    if (sqlite3_exec(db_, schema.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        fail("cannot create the tables");
    }
    statements_.reserve(StatementCount);
    for (const char* sql : StatementSql) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) !=
            SQLITE_OK) {
            fail("unexpected table layout");
        }
        statements_.push_back(stmt);
    }
    for (const reg::Key root : RootHandles) {
        handles_[root] = Handle{RootId(root), reg::KeyAllAccess, {}, {}};
    }
}

SqliteRegistry::~SqliteRegistry()
{
    for (sqlite3_stmt* stmt : statements_) {
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db_);
}

template <typename Body>
long SqliteRegistry::Guarded(Body&& body)
{
    const std::lock_guard lock(mutex_);
    if (batchDepth_ > 0 && batchFailed_) {
        return RegistryIoFailed;
    }
    try {
        return body();
    } catch (const StoreFailure& failure) {
        // The only constraint a well-formed call can break is the reference to a key that
        // another handle or process has just deleted. SQLite undoes just the statement then,
        // so a batch around it stays whole.
        const bool constraint = (failure.sqliteCode & 0xFF) == SQLITE_CONSTRAINT;
        if (batchDepth_ > 0 && constraint && sqlite3_get_autocommit(db_) == 0) {
            return KeyDeleted;
        }
        if (sqlite3_get_autocommit(db_) == 0) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        }
        if (batchDepth_ > 0) {
            batchFailed_ = true;
            ++ownWrites_;
            return RegistryIoFailed;
        }
        return constraint ? KeyDeleted : RegistryIoFailed;
    }
}

void SqliteRegistry::BeginBatch()
{
    const std::lock_guard lock(mutex_);
    if (batchDepth_++ > 0) {
        return;
    }
    batchFailed_ = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK;
}

long SqliteRegistry::EndBatch(bool commit)
{
    const std::lock_guard lock(mutex_);
    if (batchDepth_ == 0) {
        return reg::InvalidParameter;
    }
    if (!commit) {
        batchFailed_ = true;
    }
    if (--batchDepth_ > 0) {
        return reg::Success;
    }
    const bool failed = batchFailed_;
    batchFailed_ = false;
    if (!failed && sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) {
        return reg::Success;
    }
    if (sqlite3_get_autocommit(db_) == 0) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    // What the handles' cursors walked may have been undone.
    ++ownWrites_;
    return commit ? RegistryIoFailed : reg::Success;
}

SqliteRegistry::Handle* SqliteRegistry::FindHandle(reg::Key key)
{
    const auto found = handles_.find(key);
    return found == handles_.end() ? nullptr : &found->second;
}

long SqliteRegistry::HandleWithAccess(reg::Key key, std::uint32_t access, Handle*& handle)
{
    handle = FindHandle(key);
    if (handle == nullptr) {
        return reg::InvalidHandle;
    }
    return (handle->access & access) == access ? reg::Success : reg::AccessDenied;
}

reg::Key SqliteRegistry::AddHandle(std::int64_t keyId, std::uint32_t access)
{
    const reg::Key key = nextHandle_;
    nextHandle_ += 4;
    // Never hand out a value in the predefined range, however many opens came before.
    if (IsPredefined(nextHandle_)) {
        nextHandle_ = reg::HkeyDynData + 4;
    }
    handles_[key] = Handle{keyId, access, {}, {}};
    return key;
}

void SqliteRegistry::Execute(std::size_t statement)
{
    Use(Statement(statement)).Step();
}

// A call that writes several rows is a transaction of its own, or part of the batch.
void SqliteRegistry::BeginWrite()
{
    if (batchDepth_ == 0) {
        Execute(BeginSql);
    }
}

void SqliteRegistry::EndWrite(bool keep)
{
    if (batchDepth_ == 0) {
        Execute(keep ? CommitSql : RollbackSql);
    }
}

bool SqliteRegistry::KeyExists(std::int64_t keyId)
{
    return Use(Statement(KeyExistsSql)).Bind(1, keyId).Step();
}

std::int64_t SqliteRegistry::FindChild(std::int64_t parentId, std::string_view fold)
{
    Use find(Statement(FindChildSql));
    return find.Bind(1, parentId).Bind(2, fold).Step() ? find.Int(0) : 0;
}

// What a lookup that found nothing under baseId means: the answer the caller expects, or
// that the handle's own key has gone.
long SqliteRegistry::MissingKeyResult(std::int64_t baseId, long ifPresent)
{
    return KeyExists(baseId) ? ifPresent : KeyDeleted;
}

long SqliteRegistry::Resolve(std::int64_t baseId, const char* path, std::int64_t& keyId)
{
    std::vector<std::string_view> parts;
    if (!SplitPath(NameOf(path), parts)) {
        return BadPathname;
    }
    keyId = baseId;
    for (const std::string_view part : parts) {
        keyId = FindChild(keyId, FoldName(part));
        if (keyId == 0) {
            return MissingKeyResult(baseId, reg::FileNotFound);
        }
    }
    return parts.empty() ? MissingKeyResult(baseId, reg::Success) : reg::Success;
}

std::int64_t SqliteRegistry::DataVersion()
{
    Use version(Statement(DataVersionSql));
    version.Step();
    return version.Int(0);
}

bool SqliteRegistry::CursorContinues(const Cursor& cursor, std::uint32_t index)
{
    return cursor.valid && index > 0 && cursor.index == index - 1 &&
           cursor.ownWrites == ownWrites_ && cursor.dataVersion == DataVersion();
}

void SqliteRegistry::KeepCursor(Cursor& cursor, std::uint32_t index)
{
    cursor.valid = true;
    cursor.index = index;
    cursor.ownWrites = ownWrites_;
    cursor.dataVersion = DataVersion();
}

long SqliteRegistry::OpenKeyEx(reg::Key key, const char* subKey, std::uint32_t samDesired,
                               reg::Key* result)
{
    return Guarded([&] {
        if (result == nullptr) {
            return reg::InvalidParameter;
        }
        *result = 0;
        const Handle* handle = FindHandle(key);
        if (handle == nullptr) {
            return reg::InvalidHandle;
        }
        std::int64_t keyId = 0;
        const long rc = Resolve(handle->keyId, subKey, keyId);
        if (rc == reg::Success) {
            *result = AddHandle(keyId, GrantedAccess(samDesired));
        }
        return rc;
    });
}

long SqliteRegistry::CloseKey(reg::Key key)
{
    return Guarded([&] {
        if (IsPredefined(key)) {
            return reg::Success;
        }
        return handles_.erase(key) == 1 ? reg::Success : reg::InvalidHandle;
    });
}

long SqliteRegistry::QueryValueEx(reg::Key key, const char* valueName, std::uint32_t* type,
                                  std::uint8_t* data, std::uint32_t* dataSize)
{
    return Guarded([&] {
        Handle* handle = nullptr;
        if (const long refused = HandleWithAccess(key, reg::KeyQueryValue, handle)) {
            return refused;
        }
        if (data != nullptr && dataSize == nullptr) {
            return reg::InvalidParameter;
        }
        Use get(Statement(GetValueSql));
        if (!get.Bind(1, handle->keyId).Bind(2, FoldName(NameOf(valueName))).Step()) {
            return MissingKeyResult(handle->keyId, reg::FileNotFound);
        }
        const auto storedType = static_cast<std::uint32_t>(get.Int(0));
        const std::string stored = get.Blob(1);
        if (type != nullptr) {
            *type = storedType;
        }
        if (dataSize == nullptr) {
            return reg::Success;
        }
        const std::uint32_t capacity = *dataSize;
        *dataSize = static_cast<std::uint32_t>(stored.size());
        if (data == nullptr) {
            return reg::Success;
        }
        if (stored.size() > capacity) {
            return reg::MoreData;
        }
        CopyData(stored, storedType, data, capacity);
        return reg::Success;
    });
}

long SqliteRegistry::SetValueEx(reg::Key key, const char* valueName, std::uint32_t type,
                                const std::uint8_t* data, std::uint32_t dataSize)
{
    return Guarded([&] {
        Handle* handle = nullptr;
        if (const long refused = HandleWithAccess(key, reg::KeySetValue, handle)) {
            return refused;
        }
        if (data == nullptr && dataSize != 0) {
            return reg::InvalidParameter;
        }
        std::string bytes;
        if (dataSize != 0) {
            bytes.assign(reinterpret_cast<const char*>(data), dataSize);
        }
        // Callers of the ANSI call commonly pass strlen as the count; the value must still
        // read back terminated. The NUL is added here rather than read from data[dataSize].
        if (reg::IsStringType(type) && !bytes.empty() && bytes.back() != '\0') {
            bytes.push_back('\0');
        }
        const std::string_view name = NameOf(valueName);
        Use(Statement(UpsertValueSql))
            .Bind(1, handle->keyId)
            .Bind(2, name)
            .Bind(3, FoldName(name))
            .Bind(4, static_cast<std::int64_t>(type))
            .Bind(5, bytes)
            .Step();
        ++ownWrites_;
        return reg::Success;
    });
}

long SqliteRegistry::CreateKey(reg::Key key, const char* subKey, reg::Key* result)
{
    return Guarded([&] {
        if (result == nullptr) {
            return reg::InvalidParameter;
        }
        *result = 0;
        const Handle* handle = FindHandle(key);
        if (handle == nullptr) {
            return reg::InvalidHandle;
        }
        std::vector<std::string_view> parts;
        if (!SplitPath(NameOf(subKey), parts)) {
            return BadPathname;
        }
        const std::int64_t baseId = handle->keyId;
        const std::uint32_t baseAccess = handle->access;
        std::int64_t keyId = baseId;
        size_t existing = 0;
        for (; existing < parts.size(); ++existing) {
            const std::int64_t child = FindChild(keyId, FoldName(parts[existing]));
            if (child == 0) {
                break;
            }
            keyId = child;
        }
        if (existing == parts.size()) {
            const long rc = MissingKeyResult(baseId, reg::Success);
            if (rc == reg::Success) {
                *result = AddHandle(keyId, reg::KeyAllAccess);
            }
            return rc;
        }
        // Only a child of the handle's own key needs the handle's right to create subkeys;
        // deeper levels are created through the full-access handles of their parents.
        if (existing == 0 && (baseAccess & reg::KeyCreateSubKey) == 0) {
            return MissingKeyResult(baseId, reg::AccessDenied);
        }
        BeginWrite();
        // Walked again inside the transaction: another process may have created or deleted
        // some of the path in the meantime.
        if (!KeyExists(baseId)) {
            EndWrite(false);
            return KeyDeleted;
        }
        keyId = baseId;
        for (const std::string_view part : parts) {
            const std::string fold = FoldName(part);
            std::int64_t child = FindChild(keyId, fold);
            if (child == 0) {
                Use(Statement(InsertKeySql)).Bind(1, keyId).Bind(2, part).Bind(3, fold).Step();
                child = sqlite3_last_insert_rowid(db_);
            }
            keyId = child;
        }
        EndWrite(true);
        ++ownWrites_;
        *result = AddHandle(keyId, reg::KeyAllAccess);
        return reg::Success;
    });
}

long SqliteRegistry::DeleteKey(reg::Key key, const char* subKey)
{
    return Guarded([&] {
        const Handle* handle = FindHandle(key);
        if (handle == nullptr) {
            return reg::InvalidHandle;
        }
        std::int64_t keyId = 0;
        const long rc = Resolve(handle->keyId, subKey, keyId);
        if (rc != reg::Success) {
            return rc;
        }
        if (keyId <= RootId(reg::HkeyCurrentConfig)) {
            return reg::AccessDenied;
        }
        BeginWrite();
        long outcome = reg::Success;
        if (Use(Statement(HasChildrenSql)).Bind(1, keyId).Step()) {
            outcome = reg::AccessDenied;
        } else {
            Use(Statement(DeleteKeySql)).Bind(1, keyId).Step();
            if (sqlite3_changes(db_) == 0) {
                outcome = reg::FileNotFound;
            }
        }
        EndWrite(outcome == reg::Success);
        if (outcome == reg::Success) {
            ++ownWrites_;
        }
        return outcome;
    });
}

long SqliteRegistry::DeleteValue(reg::Key key, const char* valueName)
{
    return Guarded([&] {
        Handle* handle = nullptr;
        if (const long refused = HandleWithAccess(key, reg::KeySetValue, handle)) {
            return refused;
        }
        Use(Statement(DeleteValueSql))
            .Bind(1, handle->keyId)
            .Bind(2, FoldName(NameOf(valueName)))
            .Step();
        if (sqlite3_changes(db_) == 0) {
            return MissingKeyResult(handle->keyId, reg::FileNotFound);
        }
        ++ownWrites_;
        return reg::Success;
    });
}

long SqliteRegistry::EnumKeyEx(reg::Key key, std::uint32_t index, char* name,
                               std::uint32_t* nameSize)
{
    return Guarded([&] {
        Handle* handle = nullptr;
        if (const long refused = HandleWithAccess(key, reg::KeyEnumerateSubKeys, handle)) {
            return refused;
        }
        if (name == nullptr || nameSize == nullptr) {
            return reg::InvalidParameter;
        }
        Cursor& cursor = handle->subkeys;
        const bool continues = CursorContinues(cursor, index);
        Use row(Statement(continues ? SubkeyAfterSql : SubkeyAtSql));
        row.Bind(1, handle->keyId);
        if (continues) {
            row.Bind(2, cursor.subkeyFold);
        } else {
            row.Bind(2, static_cast<std::int64_t>(index));
        }
        if (!row.Step()) {
            cursor.valid = false;
            return MissingKeyResult(handle->keyId, reg::NoMoreItems);
        }
        const std::string found = row.Blob(0);
        cursor.subkeyFold = row.Blob(1);
        KeepCursor(cursor, index);
        return CopyName(found, name, nameSize) ? reg::Success : reg::MoreData;
    });
}

long SqliteRegistry::EnumValue(reg::Key key, std::uint32_t index, char* name,
                               std::uint32_t* nameSize, std::uint32_t* type, std::uint8_t* data,
                               std::uint32_t* dataSize)
{
    return Guarded([&] {
        Handle* handle = nullptr;
        if (const long refused = HandleWithAccess(key, reg::KeyQueryValue, handle)) {
            return refused;
        }
        if (name == nullptr || nameSize == nullptr || (data != nullptr && dataSize == nullptr)) {
            return reg::InvalidParameter;
        }
        Cursor& cursor = handle->values;
        const bool continues = CursorContinues(cursor, index);
        Use row(Statement(continues ? ValueAfterSql : ValueAtSql));
        row.Bind(1, handle->keyId)
            .Bind(2, continues ? cursor.valueId : static_cast<std::int64_t>(index));
        if (!row.Step()) {
            cursor.valid = false;
            return MissingKeyResult(handle->keyId, reg::NoMoreItems);
        }
        cursor.valueId = row.Int(0);
        const std::string foundName = row.Blob(1);
        const auto foundType = static_cast<std::uint32_t>(row.Int(2));
        const std::string stored = row.Blob(3);
        KeepCursor(cursor, index);

        bool fits = CopyName(foundName, name, nameSize);
        if (type != nullptr) {
            *type = foundType;
        }
        if (dataSize != nullptr) {
            const std::uint32_t capacity = *dataSize;
            *dataSize = static_cast<std::uint32_t>(stored.size());
            if (data != nullptr) {
                if (stored.size() > capacity) {
                    fits = false;
                } else {
                    CopyData(stored, foundType, data, capacity);
                }
            }
        }
        return fits ? reg::Success : reg::MoreData;
    });
}

}  // namespace kestrel
