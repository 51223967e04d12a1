#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/RegistryApi.h"

struct sqlite3;
struct sqlite3_stmt;

namespace kestrel {

// The registry of the Linux build: one SQLite file that several objects and processes may use
// at once (a scheduled backup while the window is open). Every call is its own transaction, so
// each sees what the others have committed.
//
// The five usual predefined roots exist implicitly; HKEY_PERFORMANCE_DATA, HKEY_DYN_DATA and
// any other handle value not handed out here are refused with reg::InvalidHandle. Deleting a
// key that is still open elsewhere leaves those handles stale: calls through them return
// ERROR_KEY_DELETED (1018) until they are closed. SQLite failures (a lock held beyond the busy
// timeout, I/O errors) come back as ERROR_REGISTRY_IO_FAILED (1016).
//
// A batch is one SQLite transaction, taken with the write lock at its start: other
// connections keep reading what was committed before it and see all of it at once when it
// commits, and other writers wait for it (up to the busy timeout). A store failure inside a
// batch undoes the whole batch; the calls after it fail with ERROR_REGISTRY_IO_FAILED until
// the batch ends, and EndBatch reports the failure.
//
// The object is safe to share between threads; calls are serialised, and a batch covers the
// calls of every thread until it ends.
class SqliteRegistry final : public RegistryApi {
public:
    // Opens the store, creating the file and its tables if missing. Throws std::runtime_error
    // if the file cannot be opened or is not a store.
    explicit SqliteRegistry(const std::string& dbPath);
    ~SqliteRegistry() override;

    SqliteRegistry(const SqliteRegistry&) = delete;
    SqliteRegistry& operator=(const SqliteRegistry&) = delete;

    long OpenKeyEx(reg::Key key, const char* subKey, std::uint32_t samDesired,
                   reg::Key* result) override;
    long CloseKey(reg::Key key) override;
    long QueryValueEx(reg::Key key, const char* valueName, std::uint32_t* type, std::uint8_t* data,
                      std::uint32_t* dataSize) override;
    long SetValueEx(reg::Key key, const char* valueName, std::uint32_t type,
                    const std::uint8_t* data, std::uint32_t dataSize) override;
    long CreateKey(reg::Key key, const char* subKey, reg::Key* result) override;
    long DeleteKey(reg::Key key, const char* subKey) override;
    long DeleteValue(reg::Key key, const char* valueName) override;
    long EnumKeyEx(reg::Key key, std::uint32_t index, char* name, std::uint32_t* nameSize) override;
    long EnumValue(reg::Key key, std::uint32_t index, char* name, std::uint32_t* nameSize,
                   std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) override;
    void BeginBatch() override;
    long EndBatch(bool commit) override;

private:
    // Where the last enumeration through a handle stopped, so that walking index 0, 1, 2, ...
    // continues from there instead of skipping `index` rows each time. Valid only while
    // nothing has been written since, by this object or another connection.
    struct Cursor {
        bool valid = false;
        std::uint32_t index = 0;
        std::string subkeyFold;
        std::int64_t valueId = 0;
        std::uint64_t ownWrites = 0;
        std::int64_t dataVersion = 0;
    };
    struct Handle {
        std::int64_t keyId = 0;
        std::uint32_t access = 0;
        Cursor subkeys;
        Cursor values;
    };

    Handle* FindHandle(reg::Key key);
    // The open handle `key` when it grants `access`; else reg::InvalidHandle or
    // reg::AccessDenied, the Win32 answers in that order.
    long HandleWithAccess(reg::Key key, std::uint32_t access, Handle*& handle);
    reg::Key AddHandle(std::int64_t keyId, std::uint32_t access);
    long Resolve(std::int64_t baseId, const char* path, std::int64_t& keyId);
    long MissingKeyResult(std::int64_t baseId, long ifPresent);
    bool KeyExists(std::int64_t keyId);
    std::int64_t FindChild(std::int64_t parentId, std::string_view fold);
    bool CursorContinues(const Cursor& cursor, std::uint32_t index);
    void KeepCursor(Cursor& cursor, std::uint32_t index);
    std::int64_t DataVersion();
    void Execute(std::size_t statement);
    void BeginWrite();
    void EndWrite(bool keep);
    sqlite3_stmt* Statement(std::size_t which) const { return statements_[which]; }

    template <typename Body>
    long Guarded(Body&& body);

    sqlite3* db_ = nullptr;
    std::vector<sqlite3_stmt*> statements_;
    std::unordered_map<reg::Key, Handle> handles_;
    reg::Key nextHandle_ = 0x1000;
    std::uint64_t ownWrites_ = 0;
    int batchDepth_ = 0;
    bool batchFailed_ = false;
    std::mutex mutex_;
};

}  // namespace kestrel
