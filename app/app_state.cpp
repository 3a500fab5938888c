#include "app/app_state.h"

#include "download/download.h"

namespace orva {

HWND g_mainWindow = nullptr;
WorkerThread g_worker;
std::atomic<bool> g_workerRunning{false};
std::atomic<bool> g_cancelRequested{false};
RunFunction g_runFunction = download;

}  // namespace orva
