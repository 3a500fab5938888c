#include "tests/support/message_recorder.h"

#include <memory>

#include "app/app_state.h"
#include "app/ui_messages.h"

namespace orva::testing {
namespace {

constexpr wchar_t kClassName[] = L"OrvaTestMessageRecorder";

LRESULT CALLBACK recorderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= kMsgStatus && message <= kMsgInstallerReady) {
        const std::unique_ptr<std::wstring> text(reinterpret_cast<std::wstring*>(lParam));
        auto* received =
            reinterpret_cast<std::vector<UiMessage>*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        received->push_back({message, wParam, *text});
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

MessageRecorder::MessageRecorder() {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = recorderProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    RegisterClassW(&windowClass);  // fails harmlessly when already registered
    window_ = CreateWindowW(kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            windowClass.hInstance, nullptr);
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&received_));
    g_mainWindow = window_;
}

MessageRecorder::~MessageRecorder() {
    pump();  // frees payloads still queued
    g_mainWindow = nullptr;
    DestroyWindow(window_);
}

const std::vector<UiMessage>& MessageRecorder::pump() {
    MSG msg;
    while (PeekMessageW(&msg, window_, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&msg);
    }
    return received_;
}

std::vector<std::wstring> MessageRecorder::texts(UINT message) const {
    std::vector<std::wstring> result;
    for (const UiMessage& m : received_) {
        if (m.message == message) {
            result.push_back(m.text);
        }
    }
    return result;
}

}  // namespace orva::testing
