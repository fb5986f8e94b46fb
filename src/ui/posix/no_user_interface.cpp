#include "ui/dialog.h"

namespace fennex::ui {

// No toolkit on this platform yet: `configure` saves without showing anything.
IUserInterface* PlatformUserInterface() { return nullptr; }

}  // namespace fennex::ui
