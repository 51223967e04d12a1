// How a history of full and differential archives is kept: "keep the last N" counts restore
// points, and no differential that is kept ever loses the full it needs.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <map>
#include <random>
#include <set>

#include "archive/MemberName.h"
#include "backup/BackupGenerations.h"

namespace kestrel {
namespace {

constexpr const char* Target = "C:\\Backups\\Work.ksb";

std::time_t Utc(unsigned day, int hour)
{
    using namespace std::chrono;
    return system_clock::to_time_t(sys_days{year{2026} / 12 / day} + hours{hour});
}

RestorePoint FullPoint(const std::string& name)
{
    return {name, false, {}};
}

RestorePoint DifferentialPoint(const std::string& name, const std::string& fullName)
{
    return {name, true, fullName};
}

std::string Full(std::time_t when)
{
    return BareName(GenerationPath(Target, when));
}

std::string Differential(std::time_t when)
{
    return BareName(DifferentialPath(Target, when));
}

TEST(DifferentialGenerations, AreNamedBesideTheFullsAndToldFromThem)
{
    EXPECT_EQ("C:\\Backups\\Work 2026-12-08 0230 UTC differential.ksb",
              DifferentialPath(Target, Utc(8, 2) + 30 * 60));
    const struct {
        const char* name;
        bool generation;
        bool differential;
    } cases[] = {
        {"Work 2026-12-08 0230 UTC differential.ksb", false, true},
        {"work 2026-12-08 0230 utc DIFFERENTIAL.KSB", false, true},
        {"Work 2026-12-08 0230 UTC.ksb", true, false},
        {"Work 2026-12-08 0230 differential.ksb", false, false},  // never named by local time
        {"Work 2026-12-08 0230 UTC differential.ksb.old", false, false},
        {"Other 2026-12-08 0230 UTC differential.ksb", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.generation, IsGenerationName(Target, c.name)) << c.name;
        EXPECT_EQ(c.differential, IsDifferentialName(Target, c.name)) << c.name;
        EXPECT_EQ(c.generation || c.differential, NamedTime(Target, c.name).has_value()) << c.name;
    }
}

TEST(DifferentialGenerations, KeepCountsRestorePointsAndKeepsTheFullsTheyNeed)
{
    const std::string f1 = Full(Utc(1, 0));
    const std::string d1 = Differential(Utc(2, 0));
    const std::string d2 = Differential(Utc(3, 0));
    const std::string f2 = Full(Utc(4, 0));
    const std::string d3 = Differential(Utc(5, 0));
    const std::string gone = Full(Utc(1, 12));
    const std::string orphan = Differential(Utc(1, 13));
    struct Case {
        const char* what;
        std::vector<RestorePoint> points;
        int keep;
        std::string written;
        std::vector<std::string> beyond;
        std::vector<std::string> unrestorable;
    };
    const Case cases[] = {
        {"three kept of five: the old full stays for its differential",
         {FullPoint(f1), DifferentialPoint(d1, f1), DifferentialPoint(d2, f1), FullPoint(f2),
          DifferentialPoint(d3, f2)},
         3,
         d3,
         {d1},
         {}},
        {"two kept: the newest full and its differential, nothing of the first",
         {FullPoint(f1), DifferentialPoint(d1, f1), DifferentialPoint(d2, f1), FullPoint(f2),
          DifferentialPoint(d3, f2)},
         2,
         d3,
         {f1, d1, d2},
         {}},
        {"one kept, a differential: its full stays however old",
         {FullPoint(f1), DifferentialPoint(d1, f1), DifferentialPoint(d2, f1)},
         1,
         d2,
         {d1},
         {}},
        {"a differential whose full is gone goes, whatever its age",
         {FullPoint(f1), DifferentialPoint(orphan, gone), DifferentialPoint(d1, f1)},
         5,
         d1,
         {},
         {orphan}},
        {"a differential that does not read needs the newest full before it",
         {FullPoint(f1), DifferentialPoint(d1, ""), FullPoint(f2), DifferentialPoint(d3, f2)},
         3,
         d3,
         {},
         {}},
        {"fulls alone as before", {FullPoint(f1), FullPoint(gone), FullPoint(f2)}, 2, f2, {f1}, {}},
    };
    for (const Case& c : cases) {
        const Pruning pruning =
            RestorePointsBeyond(Target, c.points, c.keep, Utc(20, 0), c.written);
        EXPECT_EQ(c.beyond, pruning.beyond) << c.what;
        EXPECT_EQ(c.unrestorable, pruning.unrestorable) << c.what;
    }
}

// Random nights of fulls, differentials against the newest full, and failed runs that write
// nothing, each written run followed by its pruning: whatever the order, every differential
// left has its full, the newest `keep` restore points are all there, and nothing else is kept
// but the fulls that kept differentials need.
TEST(DifferentialGenerations, NoKeptDifferentialEverLosesItsFull)
{
    for (unsigned seed = 1; seed <= 200; ++seed) {
        std::mt19937 random(seed);
        const int keep = std::uniform_int_distribution<int>(1, 9)(random);
        std::map<std::string, RestorePoint> present;
        std::vector<std::string> restorePointsMade;  // oldest first
        std::string newestFull;
        for (int night = 0; night < 60; ++night) {
            const std::time_t when = Utc(1, 0) + night * 6 * 3600;
            const int kind = std::uniform_int_distribution<int>(0, 9)(random);
            RestorePoint written;
            if (kind < 2 || newestFull.empty() || !present.contains(newestFull)) {
                written = FullPoint(Full(when));
                newestFull = written.name;
            } else if (kind < 9) {
                written = DifferentialPoint(Differential(when), newestFull);
            } else {
                continue;  // the run failed: nothing written, nothing pruned
            }
            present[written.name] = written;
            restorePointsMade.push_back(written.name);
            std::vector<RestorePoint> points;
            for (const auto& [name, point] : present) {
                points.push_back(point);
            }
            std::shuffle(points.begin(), points.end(), random);
            const Pruning pruning =
                RestorePointsBeyond(Target, points, keep, when + 60, written.name);
            for (const std::string& name : pruning.beyond) {
                ASSERT_NE(written.name, name) << "seed " << seed;
                present.erase(name);
            }
            ASSERT_TRUE(pruning.unrestorable.empty()) << "seed " << seed;

            std::set<std::string> needed;
            for (const auto& [name, point] : present) {
                if (point.differential) {
                    ASSERT_TRUE(present.contains(point.fullName))
                        << "seed " << seed << ", night " << night << ": " << name
                        << " lost its full " << point.fullName;
                    needed.insert(point.fullName);
                }
            }
            const std::size_t newest =
                std::min<std::size_t>(static_cast<std::size_t>(keep), restorePointsMade.size());
            for (std::size_t i = restorePointsMade.size() - newest; i < restorePointsMade.size();
                 ++i) {
                ASSERT_TRUE(present.contains(restorePointsMade[i]))
                    << "seed " << seed << ", night " << night << ": a newest restore point "
                    << restorePointsMade[i] << " was removed";
            }
            ASSERT_LE(present.size(), newest + needed.size()) << "seed " << seed;
        }
    }
}

}  // namespace
}  // namespace kestrel
