// The process-wide tables behind the host functions: the camera table (one GrabPort per camera
// found on first use), the name table handed to the host, the port table, the port mutexes and
// the system path.
#pragma once

#include "driver/grab_port.h"

namespace fennex::driver {

inline constexpr int kMaxCameras = 20;
inline constexpr int kMaxPorts = 20;

// Builds the camera table once, on the first call of any host function: enumeration and thread
// start-up must not run while the library is being loaded.
void EnsureCameraTable();

// The camera-table slot whose camera name agrees with `name` in its first four characters
// (case-sensitive, stopping at a terminator), or -1.
int FindCamera(const char* name);
// The first open port's GrabPort whose name agrees with `name` in its first four characters,
// or null. (The camera list dialog's lookup.)
void FindOpenPort(const char* name, GrabPort** out);

// Saves the configuration file of every camera whose device is open, in table order; a file
// that cannot be written is reported. Never throws.
void SaveOpenCameras();

// For tests: closes every port, releases the camera table and builds it again from the
// cameras present now.
void RebuildCameraTableForTesting();

}  // namespace fennex::driver
