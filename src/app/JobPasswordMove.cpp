#include "app/JobPasswordMove.h"

#include <cstdint>
#include <vector>

#include "scheduler/ScheduledBackup.h"

namespace kestrel {
namespace {

constexpr const char* SecretPrefix = "job-";
constexpr const char* NotMoved = "the job's password stays in its command line: ";

std::string WithoutOuterBlanks(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::vector<ListedJob> JobsStartedWith(const std::vector<ListedJob>& jobs,
                                       const std::string& argumentText)
{
    std::vector<ListedJob> found;
    for (const ListedJob& listed : jobs) {
        if (WithoutOuterBlanks(listed.job.Arguments) == WithoutOuterBlanks(argumentText)) {
            found.push_back(listed);
        }
    }
    return found;
}

JobInfo WithPasswordKey(JobInfo job, const UnattendedArguments& arguments,
                        const std::string& passwordKey)
{
    job.Arguments = JobOptionsText(arguments.keep, passwordKey, arguments.differentialDays) +
                    JobArguments(arguments.profileName, arguments.itemFlags, std::string(),
                                 arguments.archivePath);
    job.Command = "\"" + job.Program + "\" " + job.Arguments;
    return job;
}

// Replaces one job by its copy that names the secret and returns the copy's id: the copy is
// added first, so that a failure never leaves the user without the job; a copy whose old job
// cannot be removed goes again, so that the backup does not run twice.
Result<std::uint32_t> ReplaceJob(Scheduler& scheduler, const ListedJob& old,
                                 const JobInfo& replacement)
{
    const Result<std::uint32_t> added = scheduler.Add(replacement);
    if (!added) {
        return added;
    }
    if (std::optional<Error> refused = scheduler.Remove(old.id)) {
        scheduler.Remove(*added);
        return *refused;
    }
    return added;
}

}  // namespace

JobPasswordMove MoveJobPasswordToSecrets(Platform& platform, Scheduler* scheduler,
                                         const std::string& argumentText,
                                         const UnattendedArguments& arguments)
{
    if (arguments.password.empty() || !arguments.passwordKey.empty() || !scheduler) {
        return {};
    }
    const Result<std::vector<ListedJob>> jobs = scheduler->List();
    const std::vector<ListedJob> found =
        jobs ? JobsStartedWith(*jobs, argumentText) : std::vector<ListedJob>();
    if (found.empty()) {
        return {};
    }
    if (!platform.secrets) {
        return {std::string(NotMoved) + "this system has no place to keep it", false};
    }
    const Result<std::string> key = platform.secrets->Store(SecretPrefix, arguments.password);
    if (!key) {
        return {NotMoved + key.error().Reason(), false};
    }
    std::string replaced;
    std::string kept;
    std::string firstRefusal;
    for (const ListedJob& listed : found) {
        const Result<std::uint32_t> copy =
            ReplaceJob(*scheduler, listed, WithPasswordKey(listed.job, arguments, *key));
        const std::string job = "job " + std::to_string(listed.id);
        if (copy) {
            replaced +=
                (replaced.empty() ? "" : ", ") + job + " is now job " + std::to_string(*copy);
        } else {
            kept += "; " + job + " keeps it in its command line: " + copy.error().Reason();
            firstRefusal = firstRefusal.empty() ? copy.error().Reason() : firstRefusal;
        }
    }
    if (replaced.empty()) {
        // No job names the secret: it goes, and every job is as it was.
        platform.secrets->Remove(*key);
        return {NotMoved + firstRefusal, false};
    }
    return {"the job's password was moved from its command line into the user's secrets (" +
                replaced + ")" + kept,
            true};
}

}  // namespace kestrel
