// Export then import of a registry tree of 1,000 keys and 20,000 values of mixed types (text,
// expandable text, binary, DWORD) in the SQLite store: the backup's export text format, and
// registry files through `kestrel reg`'s reader and writer. The peer is Wine's registry editor
// exporting the same tree from Wine's registry (regedit /E) and importing it back (regedit /S),
// each a process of its own as a user would run it, with the wineserver kept running.
//
//   registry_bench [runs]      (default 5; the peer needs wine and uses $WINEPREFIX)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/SqliteRegistry.h"
#include "registry/KeyExport.h"
#include "registry/RegFile.h"
#include "registry/RegistryAccess.h"
#include "ui/Messages.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int Groups = 40;
constexpr int KeysPerGroup = 24;  // 40 groups + 960 keys below them = 1,000 keys
constexpr int ValuesPerKey = 20;
const std::string TreePath = "HKEY_CURRENT_USER\\Software\\KestrelBench\\Tree";
const std::string CopyPath = "HKEY_CURRENT_USER\\Software\\KestrelBench\\Copy";

void Set(kestrel::RegistryApi& api, kestrel::reg::Key key, const std::string& name,
         std::uint32_t type, const std::string& data)
{
    api.SetValueEx(key, name.c_str(), type, reinterpret_cast<const std::uint8_t*>(data.data()),
                   static_cast<std::uint32_t>(data.size()));
}

void FillKey(kestrel::RegistryApi& api, const std::string& subKey, int seed)
{
    using namespace kestrel;
    reg::Key key = 0;
    api.CreateKey(reg::HkeyCurrentUser, subKey.c_str(), &key);
    for (int i = 0; i < ValuesPerKey; ++i) {
        const std::string name = "Value " + std::to_string(i);
        const int n = seed * ValuesPerKey + i;
        switch (i % 4) {
            case 0:
                Set(api, key, name, reg::TypeSz,
                    "Some text of a profile, number " + std::to_string(n));
                break;
            case 1:
                Set(api, key, name, reg::TypeExpandSz,
                    "%USERPROFILE%\\Documents\\" + std::to_string(n) + ".pst");
                break;
            case 2: {
                std::string bytes(48, '\0');
                for (std::size_t b = 0; b < bytes.size(); ++b) {
                    bytes[b] = static_cast<char>((n * 7 + static_cast<int>(b) * 13) & 0xFF);
                }
                Set(api, key, name, reg::TypeBinary, bytes);
                break;
            }
            default: {
                const auto number = static_cast<std::uint32_t>(n * 2654435761u);
                Set(api, key, name, reg::TypeDword,
                    std::string(reinterpret_cast<const char*>(&number), 4));
            }
        }
    }
    api.CloseKey(key);
}

void BuildTree(kestrel::RegistryApi& api)
{
    kestrel::RegistryBatch batch(api);
    const std::string base = "Software\\KestrelBench\\Tree";
    int seed = 0;
    for (int g = 0; g < Groups; ++g) {
        const std::string group = base + "\\Group " + std::to_string(g);
        FillKey(api, group, seed++);
        for (int k = 0; k < KeysPerGroup; ++k) {
            FillKey(api, group + "\\Key " + std::to_string(k), seed++);
        }
    }
    batch.Commit();
}

double Seconds(const std::function<void()>& work)
{
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Figures {
    std::vector<double> exports;
    std::vector<double> imports;
    std::vector<double> totals;
    void Add(double exportTime, double importTime)
    {
        exports.push_back(exportTime);
        imports.push_back(importTime);
        totals.push_back(exportTime + importTime);
    }
    void Print(const char* what) const
    {
        std::printf("%-34s export %7.1f ms   import %7.1f ms   both %7.1f ms\n", what,
                    Median(exports) * 1000, Median(imports) * 1000, Median(totals) * 1000);
    }
};

int Run(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str());
}

std::string WinePath(const fs::path& path)
{
    std::string text = "Z:" + path.string();
    std::replace(text.begin(), text.end(), '/', '\\');
    return "'" + text + "'";
}

}  // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const fs::path folder = fs::temp_directory_path() / "kestrel-registry-bench";
    fs::remove_all(folder);
    fs::create_directories(folder);

    kestrel::SqliteRegistry store((folder / "registry.db").string());
    // Host paths ("/tmp/...") pass through the file system as they are.
    kestrel::PosixFileSystem files(folder);
    kestrel::SilentMessages messages;
    kestrel::RegistryAccess access(store, messages);
    BuildTree(store);
    std::printf("tree: %d keys, %d values; %d runs, medians\n", Groups * (KeysPerGroup + 1),
                Groups * (KeysPerGroup + 1) * ValuesPerKey, runs);

    Figures ours;
    Figures ourRegFiles;
    const fs::path text = folder / "tree.txt";
    const fs::path regFile = folder / "tree.reg";
    for (int run = 0; run < runs; ++run) {
        const double exportTime =
            Seconds([&] { ExportKeyTree(access, TreePath, "", files, text.string()); });
        const double importTime =
            Seconds([&] { ImportKeyFile(access, CopyPath, files, text.string()); });
        ours.Add(exportTime, importTime);

        const double regExport = Seconds([&] {
            std::ofstream(regFile, std::ios::binary)
                << kestrel::FormatRegFile(kestrel::ReadRegistryTree(access, TreePath));
        });
        const double regImport = Seconds([&] {
            std::ifstream in(regFile, std::ios::binary);
            std::string bytes(fs::file_size(regFile), '\0');
            in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            kestrel::RegFileError error;
            kestrel::ApplyRegFile(access, *kestrel::ParseRegFile(bytes, error));
        });
        ourRegFiles.Add(regExport, regImport);
    }
    ours.Print("kestrel, export text format");
    ourRegFiles.Print("kestrel, registry file (.reg)");

    if (Run("command -v wine") != 0 || std::getenv("WINEPREFIX") == nullptr) {
        std::printf("peer: skipped (needs wine and WINEPREFIX)\n");
        return 0;
    }
    // Seeded from our own file of the same tree; the wineserver stays up between runs.
    Run("wineserver -p");
    Run("wineboot -i");
    const std::string key = "'HKEY_CURRENT_USER\\Software\\KestrelBench\\Tree'";
    Run("wine reg delete " + key + " /f");
    if (Run("wine regedit /S " + WinePath(regFile)) != 0) {
        std::printf("peer: wine regedit could not import the tree\n");
        return 1;
    }
    Figures peer;
    const fs::path peerFile = folder / "peer.reg";
    for (int run = 0; run < runs; ++run) {
        fs::remove(peerFile);
        const double exportTime =
            Seconds([&] { Run("wine regedit /E " + WinePath(peerFile) + " " + key); });
        Run("wine reg delete " + key + " /f");
        const double importTime = Seconds([&] { Run("wine regedit /S " + WinePath(peerFile)); });
        peer.Add(exportTime, importTime);
    }
    peer.Print("peer, wine regedit /E and /S");
    Run("wineserver -k");
    std::printf(
        "ratio peer / kestrel (export + import): %.1fx with the export text format, "
        "%.1fx with registry files\n",
        Median(peer.totals) / Median(ours.totals),
        Median(peer.totals) / Median(ourRegFiles.totals));
    fs::remove_all(folder);
    return 0;
}
