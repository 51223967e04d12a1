#pragma once

#include <windows.h>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "disc/DiscEngine.h"
#include "disc/MemoryDiscImage.h"
#include "platform/FileSystem.h"
#include "platform/win32/Com.h"

namespace kestrel {

// Hands calls from the engine's worker threads to the thread that opened it (the windows'
// thread), through a message-only window: that thread runs them from its message loop.
class EventQueue {
public:
    EventQueue() = default;
    EventQueue(const EventQueue&) = delete;
    EventQueue& operator=(const EventQueue&) = delete;
    ~EventQueue();

    // Creates the window on the calling thread.
    bool Open();
    // Runs `call` later on the owning thread.
    void Post(std::function<void()> call);
    // Runs `call` on the owning thread and returns after it ran.
    void Send(const std::function<void()>& call);
    // Runs what is queued; for a thread that waits without a message loop.
    void RunQueued();
    // Takes the window's messages (a worker's Send waits for them) and runs what is queued:
    // what DeliverEvents does for a caller without a message loop (the command-line tool).
    void Pump();

private:
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM w, LPARAM l);

    HWND window_ = nullptr;
    std::mutex mutex_;
    std::deque<std::function<void()>> queued_;
};

class Imapi2Engine;

// A drive of the engine: an IMAPI2 recorder, or an image file written in place of a disc.
class Imapi2Device : public DiscDevice {
public:
    // Whether a write or an erase has the drive; its answers then come from what was last heard.
    std::atomic<bool> busy{false};

    virtual bool IsImageFile() const = 0;
    // The recorder's unique id (IDiscMaster2::Item); the file's Windows path for an image file.
    virtual std::string Target() const = 0;
};

// The engine over IMAPI2: drives are the system's recorders (plus image files given in the
// options), the image is composed in memory and turned into an IMAPI2 file-system image when
// a write starts. Writes and erases run on a thread of their own, with COM of their own, and
// hand every event to the thread that called Initialize.
class Imapi2Engine final : public DiscEngine {
public:
    Imapi2Engine(FileSystem& files, std::vector<std::string> imageFiles);
    ~Imapi2Engine() override;

    bool Initialize() override;
    int DeviceCount() const override { return static_cast<int>(devices_.size()); }
    DiscDevice& DeviceAt(int index) override;
    DataWriter& Writer() override;
    void DeliverEvents() override { queue_.Pump(); }

    // --- for the drives and the writer ---
    FileSystem& Files() { return files_; }
    EventQueue& Queue() { return queue_; }
    void Raise(const std::function<void(DiscEvents&)>& event);
    // Runs `work` on the engine's worker thread; false while an earlier one still runs.
    bool StartWork(std::function<void()> work);
    bool Working() const { return working_; }
    bool Closing() const { return closing_; }

private:
    class ImageWriter;

    FileSystem& files_;
    std::vector<std::string> imageFiles_;
    std::unique_ptr<com::ComThread> com_;
    com::Dispatch master_;
    EventQueue queue_;
    bool initialized_ = false;
    std::vector<std::unique_ptr<Imapi2Device>> devices_;
    MemoryDiscImage image_;
    std::unique_ptr<ImageWriter> writer_;
    std::thread worker_;
    std::atomic<bool> working_{false};
    std::atomic<bool> closing_{false};
};

}  // namespace kestrel
