#include "backup/BackupRun.h"

#include "backup/RedirectedReads.h"
#include "registry/RegistryAccess.h"

namespace kestrel {

BackupRun::BackupRun(Platform& platform, Messages& messages, BackupPlan plan)
    : platform_(platform),
      messages_(messages),
      plan_(std::move(plan)),
      staged_(StagedRequest(plan_.request))
{
}

BackupRun::~BackupRun() = default;

BackupRunOutcome BackupRun::Run(const HeldFilesAnswer& answer, ProgressSink& progress)
{
    if (Decide(answer) && Prepare(progress)) {
        Collect(progress);
        Write(progress);
    }
    return Finish(progress);
}

bool BackupRun::Decide(const HeldFilesAnswer& answer)
{
    if (platform_.fileHolders && platform_.registry) {
        RegistryAccess registry(*platform_.registry, messages_);
        candidates_ = ProfileHeldFileCandidates(registry, plan_.machine.profilesRootKey,
                                                plan_.request.profileName, plan_.request.boxes);
    }
    SilentProgress silent;
    const std::vector<HeldFile> held =
        HeldFilesGate(platform_.fileHolders.get(), silent).FindHeld(candidates_);
    const std::optional<IfOutlookRuns> way = answer(held);
    if (!way) {
        outcome_.stopped = true;
        return false;
    }
    outcome_.way = *way;
    return true;
}

bool BackupRun::Prepare(ProgressSink& progress)
{
    gate_ = std::make_unique<HeldFilesGate>(platform_.fileHolders.get(), progress,
                                            HeldFilesGate::SleepFor, plan_.wait);
    if (plan_.snapshotsAllowed) {
        gate_->UseShadowCopies(platform_.shadowCopies.get());
    }
    outcome_.held = gate_->Check(outcome_.way, candidates_, false, &cancelled_);
    if (outcome_.held.verdict != HeldVerdict::Go) {
        outcome_.stopped = true;
        return false;
    }
    if (!gate_->SnapshotPaths().empty()) {
        snapshotReads_ =
            std::make_unique<RedirectedReads>(*platform_.fileSystem, gate_->SnapshotPaths());
    }
    return true;
}

void BackupRun::Collect(ProgressSink& progress)
{
    if (plan_.differential.wanted) {
        base_ = ChooseDifferentialBase(*platform_.fileSystem, plan_.request, plan_.keep,
                                       plan_.differential, fullBecause_);
    }
    StartJob(base_ ? &*base_ : nullptr);
    job_->Collect(staged_, plan_.machine, progress);
    if (base_ && !job_->NeedsFull().empty()) {
        CollectFull(progress);
    }
}

void BackupRun::StartJob(const DifferentialBase* base)
{
    FileSystem& reads = snapshotReads_ ? *snapshotReads_ : *platform_.fileSystem;
    auto job = std::make_unique<BackupJob>(platform_, messages_, reads);
    job->SetDifferentialBase(base);
    const std::lock_guard lock(jobMutex_);
    job_ = std::move(job);
    if (cancelled_) {
        job_->Cancel();
    }
}

// A data file cannot go into a differential (a Compact rewrote it): all of it again, as a full.
void BackupRun::CollectFull(ProgressSink& progress)
{
    fullBecause_ = job_->NeedsFull();
    SilentProgress silent;
    job_->Finish(silent);
    StartJob(nullptr);
    base_.reset();
    job_->Collect(staged_, plan_.machine, progress);
}

void BackupRun::Write(ProgressSink& progress)
{
    job_->Write(progress);
    if (base_ && !job_->NeedsFull().empty()) {
        // Found while reading the data files, which happens here rather than in Collect so
        // that a window's thread never reads them: the collection is made again, here.
        CollectFull(progress);
        job_->Write(progress);
    }
    if (plan_.keep.verify && job_->Written()) {
        progress.SetWriteText(texts::VerifyingBackup);
        BackupOutcome written;
        written.result = BackupResult::Written;
        readBackProblem_ = CheckStagedArchive(written, staged_, *platform_.fileSystem);
    }
}

BackupRunOutcome BackupRun::Finish(ProgressSink& progress)
{
    if (job_) {
        BackupOutcome finished = job_->Finish(progress);
        if (plan_.differential.wanted && finished.differentialOf.empty()) {
            finished.fullBecause = fullBecause_;
        }
        outcome_.backup = PlaceStagedArchive(std::move(finished), staged_, plan_.keep,
                                             readBackProblem_, *platform_.fileSystem);
        const std::lock_guard lock(jobMutex_);
        job_.reset();
    }
    snapshotReads_.reset();
    if (gate_) {
        if (std::string why; !gate_->DeleteSnapshot(why)) {
            outcome_.snapshotNotDeleted = why;
        }
        outcome_.startedAgain = gate_->Closed();
        gate_->StartAgain();
    }
    return outcome_;
}

void BackupRun::Cancel()
{
    cancelled_ = true;
    const std::lock_guard lock(jobMutex_);
    if (job_) {
        job_->Cancel();
    }
}

}  // namespace kestrel
