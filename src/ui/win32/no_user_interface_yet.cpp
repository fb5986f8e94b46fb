#include "ui/dialog.h"

namespace fennex::ui {

// Until the Win32 dialogs exist, configure on Windows saves without showing anything. The Win32
// backend defines PlatformUserInterface itself and deletes this file.
IUserInterface* PlatformUserInterface() { return nullptr; }

}  // namespace fennex::ui
