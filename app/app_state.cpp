#include "app/app_state.h"

namespace orva {

HWND g_mainWindow = nullptr;
std::thread g_worker;
std::atomic<bool> g_workerRunning{false};
std::atomic<bool> g_cancelRequested{false};

}  // namespace orva
