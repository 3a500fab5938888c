// The smallest Win32 program with a window: the yardstick for how long
// Orva-Setup takes from its start to its window (startup_bench.cpp).
#include <windows.h>

LRESULT CALLBACK minimalProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = minimalProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"MinimalWindow";
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    RegisterClassW(&windowClass);
    HWND window = CreateWindowW(L"MinimalWindow", L"Minimal", WS_CAPTION | WS_SYSMENU, 100, 100,
                                480, 232, nullptr, nullptr, instance, nullptr);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
