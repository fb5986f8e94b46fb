// The fifteen host functions of a Fennex library that a program has loaded by name, found by
// name as machine-vision hosts find them.
#pragma once

#include <string>
#include <type_traits>

#include "fennex/fennex.h"

struct HostFunctions {
    setSystemPathFn setSystemPath;
    setDebugMsgProcFn setDebugMsgProc;
    configureFn configure;
    getCVLMaxNoOfGrabbersFn getCVLMaxNoOfGrabbers;
    getCVLMaxNoOfPortsFn getCVLMaxNoOfPorts;
    getCVLNoOfSupportedCamerasFn getCVLNoOfSupportedCameras;
    getCVLCameraConfigNamesFn getCVLCameraConfigNames;
    openCVLPortFn openCVLPort;
    closeCVLPortFn closeCVLPort;
    doCVLGrabFn doCVLGrab;
    getCVLGrabRowFn getCVLGrabRow;
    setCompleteCallbackFn setCompleteCallback;
    getPropertyRangeFn getPropertyRange;
    getPropertyFn getProperty;
    setPropertyFn setProperty;
};

// Fills `api` through `find(name)` (GetProcAddress, dlsym, ...); false when a function is
// missing, with the missing names in `missing`, separated by commas.
template <class Find>
bool FindHostFunctions(Find find, HostFunctions& api, std::string& missing) {
    bool ok = true;
    auto one = [&](const char* name, auto& fn) {
        fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(find(name));
        if (fn) return;
        missing += std::string(missing.empty() ? "" : ", ") + name;
        ok = false;
    };
#define FENNEX_FIND(name) one(#name, api.name)
    FENNEX_FIND(setSystemPath);
    FENNEX_FIND(setDebugMsgProc);
    FENNEX_FIND(configure);
    FENNEX_FIND(getCVLMaxNoOfGrabbers);
    FENNEX_FIND(getCVLMaxNoOfPorts);
    FENNEX_FIND(getCVLNoOfSupportedCameras);
    FENNEX_FIND(getCVLCameraConfigNames);
    FENNEX_FIND(openCVLPort);
    FENNEX_FIND(closeCVLPort);
    FENNEX_FIND(doCVLGrab);
    FENNEX_FIND(getCVLGrabRow);
    FENNEX_FIND(setCompleteCallback);
    FENNEX_FIND(getPropertyRange);
    FENNEX_FIND(getProperty);
    FENNEX_FIND(setProperty);
#undef FENNEX_FIND
    return ok;
}
