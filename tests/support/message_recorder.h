#pragma once

// A stand-in for the main window in tests of code that posts the worker's
// messages: a message-only window installed as g_mainWindow that keeps every
// kMsgStatus, kMsgProgress, kMsgFailed and kMsgInstallerReady it receives and
// frees their payloads, as the real window does. Windows only; one at a time.

#include <windows.h>

#include <string>
#include <vector>

namespace orva::testing {

struct UiMessage {
    UINT message;
    WPARAM wParam;
    std::wstring text;
};

class MessageRecorder {
  public:
    MessageRecorder();   // installs itself as g_mainWindow
    ~MessageRecorder();  // destroys the window and clears g_mainWindow
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    // Delivers what has been posted to this thread so far and returns every
    // message received since the recorder was made.
    const std::vector<UiMessage>& pump();

    // The texts of one kind of message, in order of arrival (after pump()).
    std::vector<std::wstring> texts(UINT message) const;

  private:
    HWND window_ = nullptr;
    std::vector<UiMessage> received_;
};

}  // namespace orva::testing
