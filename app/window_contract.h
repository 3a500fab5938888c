#pragma once

// What other programs rely on to find and drive the main window: its class
// name, the ids of its controls and the id of the program's icon. The demo's
// window driver, the black-box tests and the resource script take them from
// here, so they cannot drift apart. Included by orva-setup.rc too, where only
// the preprocessor part is seen.

// Icon group of the executable: the window class's icon and the header's.
#define ORVA_ICON_ID 1

#ifndef RC_INVOKED

#include <windows.h>

namespace orva {

inline constexpr wchar_t kWindowClassName[] = L"OrvaSetupDownloader";
inline constexpr WORD kIconId = ORVA_ICON_ID;

// Control ids, passed as the controls' menu handles and seen in WM_COMMAND.
inline constexpr int kIdStatusLabel = 100;
inline constexpr int kIdDetailLabel = 101;
inline constexpr int kIdProgressBar = 102;
inline constexpr int kIdTryAgainButton = 103;
// The right-hand button: "Cancel" while a run is active, "Close" afterwards.
inline constexpr int kIdCancelButton = 104;

}  // namespace orva

#endif  // RC_INVOKED
