#include "platform/win32/Win32UserSecrets.h"

#include <windows.h>

#include <wincrypt.h>

#include <vector>

#include "platform/win32/WideText.h"

namespace kestrel {
namespace {

constexpr int StoreAttempts = 8;
constexpr DWORD LargestSealed = 64 * 1024;

std::wstring WidePath(const std::string& folder, const std::string& name)
{
    return Utf8ToWide(folder + "\\" + name);
}

Error LastError(const char* operation, const std::string& subject)
{
    return SystemError(operation, subject, static_cast<long>(GetLastError()));
}

Result<std::vector<BYTE>> Seal(const std::string& secret)
{
    DATA_BLOB in{static_cast<DWORD>(secret.size()),
                 reinterpret_cast<BYTE*>(const_cast<char*>(secret.data()))};
    DATA_BLOB out{};
    if (!CryptProtectData(&in, L"Kestrel", nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                          &out)) {
        return LastError("protect", "a secret");
    }
    std::vector<BYTE> sealed(out.pbData, out.pbData + out.cbData);
    LocalFree(out.pbData);
    return sealed;
}

Result<std::string> Unseal(std::vector<BYTE>& sealed, const std::string& path)
{
    DATA_BLOB in{static_cast<DWORD>(sealed.size()), sealed.data()};
    DATA_BLOB out{};
    if (!CryptUnprotectData(&in, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                            &out)) {
        return LastError("unprotect", path);
    }
    std::string secret(reinterpret_cast<const char*>(out.pbData), out.cbData);
    SecureZeroMemory(out.pbData, out.cbData);
    LocalFree(out.pbData);
    return secret;
}

}  // namespace

Win32UserSecrets::Win32UserSecrets(std::string folder) : folder_(std::move(folder))
{
}

Result<std::string> Win32UserSecrets::Store(const std::string& prefix, const std::string& secret)
{
    // The data folder first: a user's first job may come before any run made it.
    for (const std::string& folder : {folder_.substr(0, folder_.rfind('\\')), folder_}) {
        if (!CreateDirectoryW(Utf8ToWide(folder).c_str(), nullptr) &&
            GetLastError() != ERROR_ALREADY_EXISTS) {
            return LastError("create", folder);
        }
    }
    Result<std::vector<BYTE>> sealed = Seal(secret);
    if (!sealed) {
        return sealed.error();
    }
    for (int attempt = 0; attempt < StoreAttempts; ++attempt) {
        const std::string name = NewSecretName(prefix);
        if (!IsSecretName(name)) {
            return Error{"store", "secret " + prefix, 0, "not the name of a secret"};
        }
        const std::wstring path = WidePath(folder_, name);
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS) {
                continue;
            }
            return LastError("create", folder_ + "\\" + name);
        }
        DWORD written = 0;
        const BOOL ok = WriteFile(file, sealed->data(), static_cast<DWORD>(sealed->size()),
                                  &written, nullptr) &&
                        written == sealed->size() && FlushFileBuffers(file);
        const Error failure = ok ? Error{} : LastError("write", folder_ + "\\" + name);
        CloseHandle(file);
        if (!ok) {
            DeleteFileW(path.c_str());
            return failure;
        }
        return name;
    }
    return Error{"store", "secret " + prefix, 0, "no free name"};
}

Result<std::string> Win32UserSecrets::Read(const std::string& name)
{
    const std::string path = folder_ + "\\" + name;
    if (!IsSecretName(name)) {
        return Error{"read", "secret " + name, 0, "not the name of a secret"};
    }
    HANDLE file = CreateFileW(WidePath(folder_, name).c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return LastError("read", path);
    }
    std::vector<BYTE> sealed(LargestSealed);
    DWORD count = 0;
    const BOOL ok = ReadFile(file, sealed.data(), LargestSealed, &count, nullptr);
    const Error failure = ok ? Error{} : LastError("read", path);
    CloseHandle(file);
    if (!ok) {
        return failure;
    }
    sealed.resize(count);
    return Unseal(sealed, path);
}

bool Win32UserSecrets::Remove(const std::string& name)
{
    return IsSecretName(name) && DeleteFileW(WidePath(folder_, name).c_str()) != 0;
}

}  // namespace kestrel
