#pragma once

// The progress on the program's taskbar button. The window decides what the
// button shows and tells a TaskbarProgress; the program's one talks to the
// shell's taskbar through ITaskbarList3, and the window's tests put a
// recording one in its place (g_taskbar).

#include <windows.h>

#include <cstdint>

struct ITaskbarList3;

namespace orva {

enum class TaskbarState {
    kNone,           // no progress: the plain button
    kIndeterminate,  // busy, with no measure of how far (finding, checking)
    kNormal,         // the transfer, |permille| of the way
    kError,          // the run failed, at the value it had reached
};

class TaskbarProgress {
  public:
    virtual ~TaskbarProgress() = default;

    // Shows |state| on the taskbar button of |window|. |permille| (0..1000)
    // is the length of the bar for kNormal and kError; the others ignore it.
    virtual void show(HWND window, TaskbarState state, std::uint32_t permille) = 0;

    // Explorer has made the window's taskbar button (again): it says so with
    // the registered message "TaskbarButtonCreated" once the window first
    // appears and after Explorer has restarted. What was shown before is
    // gone and an object from before may be dead, so the next show uses a
    // new one.
    virtual void buttonCreated() = 0;
};

// The shell's taskbar. Where the system has no ITaskbarList3 (CoCreateInstance
// or HrInit fails, as it may under Wine) every show does nothing, and no
// failure reaches the window. The window's thread only, which COM joins as a
// single-threaded apartment on the first show.
class ShellTaskbarProgress final : public TaskbarProgress {
  public:
    void show(HWND window, TaskbarState state, std::uint32_t permille) override;
    void buttonCreated() override;

    // Whether the last show had the shell's taskbar object to talk to.
    bool available() const { return taskbar_ != nullptr; }

    // Releases the object and leaves COM on this thread if a show joined it.
    // Once the window is gone; a later show starts over.
    void release();

  private:
    // Joins COM and creates the object, unless already tried since the last
    // buttonCreated. True when the object is there.
    bool connect();
    void dropObject();

    ITaskbarList3* taskbar_ = nullptr;
    bool comJoined_ = false;
    bool tried_ = false;
};

extern ShellTaskbarProgress g_shellTaskbar;

// What the window drives: &g_shellTaskbar unless a test has put another here.
extern TaskbarProgress* g_taskbar;

}  // namespace orva
