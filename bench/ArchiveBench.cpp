// archive_bench SIZE_MIB [REPEATS] [WORK_FOLDER] [extract|sparse|generate|mixed|random]
//
// Generates a PST-like file of the given size (half mail-like text, half random
// attachment-like blocks, the same bytes on every run) and measures, in one run, the ZIP
// component writing it with and without AES, extracting both archives, and the peers on the
// same file: 7-Zip's fastest ZIP setting (7z a -tzip -mx=1, with and without -mem=AES256),
// 7z x, and cp as the disk's limit. Every measurement runs in a child process, so its peak
// memory and its processor time (user + sys) are its own. Prints medians of wall time,
// processor time and its ratio to wall time (how many cores were busy), throughput, archive
// size against the input, peak memory and each peer's ratio to ours, then our write with AES
// at deflate levels 1 to 7 (medians of the runs, taking turns) for the choice of the default.
//
// Our extraction puts each file on the disk before it replaces the target; 7z x leaves the data
// in the page cache. So 7z x and cp are measured both as they are and followed by a sync of
// what they wrote, which brackets the price of durability from both sides.
//
// With "extract" only the extraction of the archives with and without a password is measured
// against its peers (the archives are written once, untimed, at the start). With "sparse" the
// input is a sparse file of the given size with a few random blocks (a large mail file that is
// mostly empty), and only our own writing and extraction are measured: for peak memory, which
// must not grow with the file. With "mixed" the input is a mail file whose attachments are
// mostly compressed already: pieces of 4 to 64 KiB of mail text, of deflated text (as in
// Office files and PDFs) and of random bytes (as in JPEG images), everything measured on it as
// on the PST-like file. With "random" the input is random bytes throughout (attachments that
// compress no further), for the speed at which incompressible data is written; the level sweep
// is left out. With "generate" the PST-like file is only made (or kept, when it
// has the size already) as WORK_FOLDER/Outlook.pst, for other benchmarks to use the same data.
//
// The runs of all measurements take turns, and the disk is synced (untimed) before each, so
// that a noisy machine or the writeback left behind by one program does not land on another.

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "PstLikeData.h"
#include "archive/ZipComponent.h"
#include "platform/posix/PosixFileSystem.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using kestrel::bench::AppendMailText;
using kestrel::bench::CompressedText;
constexpr const char* Password = "bench-password";

struct Sample {
    double seconds = 0;
    double cpuSeconds = 0;  // user + sys
    long peakKiB = 0;
    bool ok = false;
};

// Runs a program and waits for it; wall time and the child's own peak resident memory.
Sample RunChild(const std::vector<std::string>& command)
{
    std::vector<char*> argv;
    for (const std::string& argument : command) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    Sample sample;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        sample.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        sample.peakKiB = usage.ru_maxrss;
        const auto seconds = [](const timeval& t) {
            return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
        };
        sample.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    }
    sample.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    posix_spawn_file_actions_destroy(&actions);
    return sample;
}

// Mostly a hole: a few random blocks at the start, in the middle and at the end.
void GenerateSparse(const fs::path& file, std::uint64_t size)
{
    std::mt19937 random(20240602);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    std::string block(64 * 1024, '\0');
    for (std::uint64_t at : {std::uint64_t{0}, size / 2, size - block.size()}) {
        for (char& byte : block) {
            byte = static_cast<char>(random() & 0xFF);
        }
        out.seekp(static_cast<std::streamoff>(at));
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
}

void GenerateMixed(const fs::path& file, std::uint64_t size)
{
    std::mt19937 random(20240603);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    std::string piece;
    for (std::uint64_t written = 0; written < size; written += piece.size()) {
        const auto length = static_cast<std::size_t>(
            std::min<std::uint64_t>(4096 + random() % (60 * 1024), size - written));
        piece.clear();
        switch (random() % 5) {
            case 0:
            case 1:
                AppendMailText(piece, length, random);
                break;
            case 2:
            case 3:
                piece = CompressedText(length, random);
                break;
            default:
                piece.resize(length);
                for (char& byte : piece) {
                    byte = static_cast<char>(random() & 0xFF);
                }
        }
        out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
    }
}

void GenerateRandom(const fs::path& file, std::uint64_t size)
{
    std::mt19937_64 random(20240604);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    std::vector<std::uint64_t> block(128 * 1024);
    for (std::uint64_t written = 0; written < size;) {
        for (std::uint64_t& word : block) {
            word = random();
        }
        const auto length = static_cast<std::size_t>(
            std::min<std::uint64_t>(block.size() * sizeof(std::uint64_t), size - written));
        out.write(reinterpret_cast<const char*>(block.data()),
                  static_cast<std::streamsize>(length));
        written += length;
    }
}

// The child side: one write or extraction through the component.
int ChildMain(int argc, char** argv)
{
    kestrel::PosixFileSystem files("/");
    kestrel::NoZipEvents events;
    kestrel::ZipComponent zip(files, events);
    const std::string mode = argv[2];
    if (mode == "write" && argc > 5) {  // SOURCE ARCHIVE LEVEL [PASSWORD]
        zip.SetDeflateLevel(std::atoi(argv[5]));
        zip.Create(argv[4]);
        zip.AddFile(argv[3]);
        zip.SetProtection(argc > 6);
        zip.SetWritePassword(argc > 6 ? argv[6] : "");
        if (!zip.Write()) {
            std::fprintf(stderr, "%s\n", zip.LastError().c_str());
            return 1;
        }
        return 0;
    }
    if (mode != "extract" || argc < 5) {  // ARCHIVE FOLDER [PASSWORD]
        return 2;
    }
    const std::string password = argc > 5 ? argv[5] : "";
    zip.SetReadPassword(password);
    if (!zip.Open(argv[3])) {
        return 1;
    }
    for (const auto& member : zip.Members()) {
        if (!zip.ExtractMember(member, argv[4])) {
            std::fprintf(stderr, "%s\n", zip.LastError().c_str());
            return 1;
        }
    }
    return 0;
}

struct Result {
    std::string name;
    std::vector<Sample> samples;
    std::uint64_t outputBytes = 0;

    double Median(double Sample::*field = &Sample::seconds) const
    {
        std::vector<double> times;
        for (const Sample& s : samples) {
            times.push_back(s.*field);
        }
        std::sort(times.begin(), times.end());
        return times.empty() ? 0 : times[times.size() / 2];
    }
    long Peak() const
    {
        long peak = 0;
        for (const Sample& s : samples) {
            peak = std::max(peak, s.peakKiB);
        }
        return peak;
    }
    bool Ok() const
    {
        return std::all_of(samples.begin(), samples.end(), [](const Sample& s) { return s.ok; });
    }
};

std::uint64_t SizeOf(const fs::path& file)
{
    std::error_code error;
    const auto size = fs::file_size(file, error);
    return error ? 0 : size;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 2 && std::string(argv[1]) == "--child") {
        return ChildMain(argc, argv);
    }
    if (argc < 2) {
        std::fputs(
            "usage: archive_bench SIZE_MIB [REPEATS] [WORK_FOLDER] "
            "[extract|sparse|generate|mixed|random]\n",
            stderr);
        return 2;
    }
    const std::uint64_t size = std::stoull(argv[1]) * 1024 * 1024;
    const int repeats = argc > 2 ? std::atoi(argv[2]) : 3;
    const fs::path work = fs::absolute(argc > 3 ? argv[3] : "archive-bench");
    const bool extractOnly = argc > 4 && std::string(argv[4]) == "extract";
    const bool sparse = argc > 4 && std::string(argv[4]) == "sparse";
    const bool generateOnly = argc > 4 && std::string(argv[4]) == "generate";
    const bool mixed = argc > 4 && std::string(argv[4]) == "mixed";
    const bool randomData = argc > 4 && std::string(argv[4]) == "random";
    const std::string self = fs::canonical("/proc/self/exe").string();
    fs::create_directories(work);
    const fs::path source = work / (sparse       ? "Sparse.pst"
                                    : mixed      ? "Mixed.pst"
                                    : randomData ? "Random.pst"
                                                 : "Outlook.pst");
    if (SizeOf(source) != size) {
        sparse       ? GenerateSparse(source, size)
        : mixed      ? GenerateMixed(source, size)
        : randomData ? GenerateRandom(source, size)
                     : kestrel::bench::GeneratePstLike(source, size);
    }
    if (generateOnly) {
        std::printf("%s\n", source.string().c_str());
        return SizeOf(source) == size ? 0 : 1;
    }
    const std::string src = source.string();
    const auto at = [&](const char* name) { return (work / name).string(); };
    // Every extraction or copy starts with the output of all earlier ones removed, so that each
    // starts from the same state of memory and disk: with the outputs of the other programs
    // kept, 7z x measured up to a third slower on a virtual machine, and which program paid for
    // it depended on the order.
    const std::vector<const char*> scratch{"x-ours",     "x-7z",     "x-7z-sync",
                                           "x-ours-aes", "x-7z-aes", "copy.pst"};
    const auto clearScratch = [&] {
        for (const char* name : scratch) {
            fs::remove_all(work / name);
        }
    };
    const auto fresh = [&](const char* name) {
        clearScratch();
        fs::create_directories(work / name);
        return at(name);
    };
    const std::string level = std::to_string(kestrel::ZipComponent::DefaultDeflateLevel);
    const std::vector<std::string> writeOurs{self, "--child", "write", src, at("ours.zip"), level};

    struct Job {
        std::string name;
        std::string against;  // the measurement of ours it is compared with
        bool extraction;      // an extraction, or a peer for one
        std::function<std::vector<std::string>()> command;
        std::string output;
    };
    // "$1" and "$2" of a shell command are the arguments after it.
    const auto shell = [](const char* script, const std::string& first, const std::string& second) {
        return std::vector<std::string>{"sh", "-c", script, "sh", first, second};
    };
    const std::vector<Job> allJobs{
        {"ours write", "ours write", false, [&] { return writeOurs; }, at("ours.zip")},
        {"ours write AES", "ours write AES", false,
         [&] {
             return std::vector<std::string>{self,  "--child", "write", src, at("ours-aes.zip"),
                                             level, Password};
         },
         at("ours-aes.zip")},
        {"7z -mx=1", "ours write", false,
         [&] {
             fs::remove(at("7z.zip"));
             return std::vector<std::string>{"7z", "a", "-tzip", "-mx=1", at("7z.zip"), src};
         },
         at("7z.zip")},
        {"7z -mx=1 AES", "ours write AES", false,
         [&] {
             fs::remove(at("7z-aes.zip"));
             return std::vector<std::string>{"7z",
                                             "a",
                                             "-tzip",
                                             "-mx=1",
                                             "-mem=AES256",
                                             std::string("-p") + Password,
                                             at("7z-aes.zip"),
                                             src};
         },
         at("7z-aes.zip")},
        {"ours extract", "ours extract", true,
         [&] {
             return std::vector<std::string>{self, "--child", "extract", at("ours.zip"),
                                             fresh("x-ours")};
         },
         ""},
        {"7z x", "ours extract", true,
         [&] {
             return std::vector<std::string>{"7z", "x", "-y", "-o" + fresh("x-7z"), at("ours.zip")};
         },
         ""},
        {"7z x + sync", "ours extract", true,
         [&] {
             return shell(R"(7z x -y -o"$1" "$2" && sync "$1"/*)", fresh("x-7z-sync"),
                          at("ours.zip"));
         },
         ""},
        {"ours extract AES", "ours extract AES", true,
         [&] {
             return std::vector<std::string>{
                 self, "--child", "extract", at("ours-aes.zip"), fresh("x-ours-aes"), Password};
         },
         ""},
        {"7z x AES", "ours extract AES", true,
         [&] {
             return std::vector<std::string>{"7z",
                                             "x",
                                             "-y",
                                             std::string("-p") + Password,
                                             "-o" + fresh("x-7z-aes"),
                                             at("ours-aes.zip")};
         },
         ""},
        {"cp", extractOnly ? "ours extract" : "ours write", true,
         [&] {
             clearScratch();
             return std::vector<std::string>{"cp", src, at("copy.pst")};
         },
         at("copy.pst")},
        {"cp + sync", extractOnly ? "ours extract" : "ours write", true,
         [&] {
             clearScratch();
             return shell(R"(cp "$1" "$2" && sync "$2")", src, at("copy.pst"));
         },
         at("copy.pst")},
    };
    std::vector<Job> jobs;
    std::copy_if(allJobs.begin(), allJobs.end(), std::back_inserter(jobs), [&](const Job& job) {
        return sparse ? job.name.rfind("ours", 0) == 0 : !extractOnly || job.extraction;
    });
    // Written afresh: the archive left by an earlier run may hold another mode's input (the
    // sparse or the mixed file), whatever its time says.
    if (extractOnly) {
        std::vector<std::string> writeAes = writeOurs;
        writeAes[4] = at("ours-aes.zip");
        writeAes.push_back(Password);
        if (!RunChild(writeOurs).ok || !RunChild(writeAes).ok) {
            std::fputs("cannot write the archive to extract\n", stderr);
            return 1;
        }
    }

    std::vector<Result> results;
    for (const Job& job : jobs) {
        results.push_back({job.name, {}, 0});
    }
    for (int i = 0; i < repeats; ++i) {
        for (std::size_t j = 0; j < jobs.size(); ++j) {
            const std::vector<std::string> command = jobs[j].command();
            sync();
            results[j].samples.push_back(RunChild(command));
            results[j].outputBytes = jobs[j].output.empty() ? 0 : SizeOf(jobs[j].output);
        }
    }

    const auto find = [&](const std::string& name) -> const Result& {
        return *std::find_if(results.begin(), results.end(),
                             [&](const Result& r) { return r.name == name; });
    };
    const double mib = static_cast<double>(size) / (1024 * 1024);
    std::printf("input: %.0f MiB %s, %d runs each, medians; deflate level %s\n", mib,
                sparse       ? "sparse"
                : mixed      ? "mail with compressed attachments"
                : randomData ? "random (incompressible)"
                             : "PST-like",
                repeats, level.c_str());
    std::printf("%-18s %8s %8s %6s %9s %9s %9s %12s %s\n", "", "seconds", "cpu s", "cores", "MiB/s",
                "size %", "peak MiB", "time vs ours", "");
    for (const Job& job : jobs) {
        const Result& r = find(job.name);
        const Result& ours = find(job.against);
        const std::string ratio = r.outputBytes == 0
                                      ? "-"
                                      : std::to_string(100.0 * static_cast<double>(r.outputBytes) /
                                                       static_cast<double>(size))
                                            .substr(0, 6);
        const double cpu = r.Median(&Sample::cpuSeconds);
        std::printf("%-18s %8.2f %8.2f %6.2f %9.1f %9s %9.1f %11.2fx %s\n", job.name.c_str(),
                    r.Median(), cpu, cpu / r.Median(), mib / r.Median(), ratio.c_str(),
                    static_cast<double>(r.Peak()) / 1024, r.Median() / ours.Median(),
                    r.Ok() ? "" : "FAILED");
    }
    if (sparse) {
        clearScratch();
        return 0;
    }
    const Result& ourExtract = find("ours extract");
    std::printf("ours extract (on the disk) takes %.2fx the time of 7z x, %.2fx of 7z x + sync\n",
                ourExtract.Median() / find("7z x").Median(),
                ourExtract.Median() / find("7z x + sync").Median());
    std::printf("ours extract, each run:");
    for (const Sample& s : ourExtract.samples) {
        std::printf(" %.2f", s.seconds);
    }
    std::printf("\n7z x, each run:        ");
    for (const Sample& s : find("7z x").samples) {
        std::printf(" %.2f", s.seconds);
    }
    std::printf("\n");
    clearScratch();
    if (extractOnly) {
        std::printf("ours extract AES vs 7z x AES: ours %.2fx as fast\n",
                    find("7z x AES").Median() / find("ours extract AES").Median());
        return 0;
    }

    const Result& sevenAes = find("7z -mx=1 AES");
    for (const auto& [ours, seven] :
         {std::pair{"ours write", "7z -mx=1"}, std::pair{"ours write AES", "7z -mx=1 AES"},
          std::pair{"ours extract", "7z x"}, std::pair{"ours extract AES", "7z x AES"}}) {
        const Result& a = find(ours);
        const Result& b = find(seven);
        std::printf("%-16s vs %-12s: ours %.2fx as fast", ours, seven, b.Median() / a.Median());
        if (a.outputBytes != 0 && b.outputBytes != 0) {
            std::printf(
                ", archive %+.2f%% in size",
                100.0 *
                    (static_cast<double>(a.outputBytes) / static_cast<double>(b.outputBytes) - 1));
        }
        std::printf("\n");
    }
    if (randomData) {
        clearScratch();
        return 0;
    }

    std::printf("\nour write with AES by deflate level (medians of %d runs, taking turns):\n",
                repeats);
    constexpr int Levels = 7;
    std::vector<Result> byLevel(Levels);
    for (int i = 0; i < repeats; ++i) {
        for (int l = 1; l <= Levels; ++l) {
            const std::string out = at("level.zip");
            sync();
            byLevel[l - 1].samples.push_back(
                RunChild({self, "--child", "write", src, out, std::to_string(l), Password}));
            byLevel[l - 1].outputBytes = SizeOf(out);
        }
    }
    std::printf("  level  seconds    MiB/s   size %%   vs 7z -mx=1 AES: time   size\n");
    for (int l = 1; l <= Levels; ++l) {
        const Result& r = byLevel[l - 1];
        const auto bytes = static_cast<double>(r.outputBytes);
        std::printf("  %5d %8.2f %8.1f %8.3f %19.2fx %+6.2f%%%s\n", l, r.Median(), mib / r.Median(),
                    100.0 * bytes / static_cast<double>(size), sevenAes.Median() / r.Median(),
                    100.0 * (bytes / static_cast<double>(sevenAes.outputBytes) - 1),
                    r.Ok() ? "" : " FAILED");
    }
    fs::remove(at("level.zip"));
    return 0;
}
