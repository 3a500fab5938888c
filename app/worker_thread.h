#pragma once

// The worker's thread: a Win32 thread with the part of std::thread's
// interface the shell uses. std::thread would link winpthreads and the
// standard library's thread support into the program, about 30 KB that every
// new user downloads; CreateThread is in KERNEL32 already.

#include <windows.h>

#include <utility>

namespace orva {

class WorkerThread {
  public:
    using Body = void (*)() noexcept;

    WorkerThread() = default;
    // Starts |body| on a new thread; not joinable when the system has no
    // thread to give.
    explicit WorkerThread(Body body);
    // A thread still running is let go (detached), never waited for here.
    ~WorkerThread() { detach(); }
    WorkerThread(WorkerThread&& other) noexcept
        : handle_(std::exchange(other.handle_, nullptr)), id_(std::exchange(other.id_, 0)) {}
    WorkerThread& operator=(WorkerThread&& other) noexcept {
        if (this != &other) {
            detach();
            handle_ = std::exchange(other.handle_, nullptr);
            id_ = std::exchange(other.id_, 0);
        }
        return *this;
    }
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    bool joinable() const { return handle_ != nullptr; }
    // Waits for the thread to end; then not joinable.
    void join();
    // Lets the thread run on alone; then not joinable.
    void detach();
    // The system's thread id; 0 when not joinable.
    DWORD get_id() const { return id_; }

  private:
    HANDLE handle_ = nullptr;
    DWORD id_ = 0;
};

}  // namespace orva
