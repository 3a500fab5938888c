#include "app/taskbar_progress.h"

// clang-format off
#include <windows.h>
#include <shobjidl.h>  // needs <windows.h> first
// clang-format on

namespace orva {

ShellTaskbarProgress g_shellTaskbar;
TaskbarProgress* g_taskbar = &g_shellTaskbar;

namespace {

TBPFLAG flagsOf(TaskbarState state) {
    switch (state) {
        case TaskbarState::kIndeterminate:
            return TBPF_INDETERMINATE;
        case TaskbarState::kNormal:
            return TBPF_NORMAL;
        case TaskbarState::kError:
            return TBPF_ERROR;
        case TaskbarState::kNone:
            break;
    }
    return TBPF_NOPROGRESS;
}

}  // namespace

// Nothing here runs before the window is up: the first show comes from the
// first run's working screen, after the window has been shown and painted.
// Only then are ole32 (delay-loaded, app/ole32.def, with the COM runtime it
// pulls in) and the shell's taskbar code loaded, so a start never waits for
// them before the window appears.
bool ShellTaskbarProgress::connect() {
    if (taskbar_ != nullptr || tried_) {
        return taskbar_ != nullptr;
    }
    // Once per object rather than on every progress report: a system without
    // the interface would refuse each time, at the cost of a class lookup.
    tried_ = true;
    if (!comJoined_) {
        // S_FALSE (joined already) counts too and is balanced the same way.
        if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {
            return false;
        }
        comJoined_ = true;
    }
    void* object = nullptr;
    if (FAILED(CoCreateInstance(__uuidof(TaskbarList), nullptr, CLSCTX_INPROC_SERVER,
                                __uuidof(ITaskbarList3), &object)) ||
        object == nullptr) {
        return false;
    }
    taskbar_ = static_cast<ITaskbarList3*>(object);
    if (FAILED(taskbar_->HrInit())) {
        dropObject();
        return false;
    }
    return true;
}

void ShellTaskbarProgress::show(HWND window, TaskbarState state, std::uint32_t permille) {
    if (!connect()) {
        return;
    }
    // Failures are not looked at: a call may fail before Explorer has made
    // the button, and the window shows the state again once it has.
    if (state == TaskbarState::kNormal || state == TaskbarState::kError) {
        // The value first: setting it takes a bar without progress or an
        // indeterminate one back to the normal state, which the error state
        // then replaces while keeping the value.
        taskbar_->SetProgressValue(window, permille, 1000);
    }
    taskbar_->SetProgressState(window, flagsOf(state));
}

void ShellTaskbarProgress::buttonCreated() {
    dropObject();
    tried_ = false;
}

void ShellTaskbarProgress::dropObject() {
    if (taskbar_ != nullptr) {
        taskbar_->Release();
        taskbar_ = nullptr;
    }
}

void ShellTaskbarProgress::release() {
    dropObject();  // before COM goes on this thread
    if (comJoined_) {
        CoUninitialize();
        comJoined_ = false;
    }
    tried_ = false;
}

}  // namespace orva
