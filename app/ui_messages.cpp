#include "app/ui_messages.h"

#include <memory>

#include "app/app_state.h"

namespace orva {

bool postUiMessage(UINT message, const std::wstring& text, WPARAM wParam) {
    if (g_mainWindow == nullptr) {
        return false;  // a null window would post to this thread's own queue instead
    }
    auto payload = std::make_unique<std::wstring>(text);
    if (!PostMessageW(g_mainWindow, message, wParam, reinterpret_cast<LPARAM>(payload.get()))) {
        return false;
    }
    payload.release();  // the window procedure owns it now
    return true;
}

void WindowReporter::status(const std::wstring& text) {
    postUiMessage(kMsgStatus, text);
}

void WindowReporter::progress(std::uint32_t permille, const std::wstring& detail) {
    postUiMessage(kMsgProgress, detail, permille);
}

void WindowReporter::failed(const std::wstring& reason) {
    postUiMessage(kMsgFailed, reason);
}

void WindowReporter::installerReady(const std::wstring& path, FileHandle hold) {
    if (postUiMessage(kMsgInstallerReady, path, reinterpret_cast<WPARAM>(hold.get()))) {
        hold.release();  // the window procedure closes it after the launch
    }
}

bool WindowReporter::stopRequested() const {
    return g_cancelRequested.load();
}

}  // namespace orva
