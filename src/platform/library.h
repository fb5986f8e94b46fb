// Loading a shared library by file name and finding its functions by name, the way a host
// program loads a camera-driver plug-in.
#pragma once

#include <string>

namespace fennex::platform {

// LoadLibraryA; POSIX: dlopen with every symbol resolved at once, kept local to the library.
// Null on failure, with `error` saying why. The library stays loaded until the process ends.
void* LoadLibraryFile(const std::string& file, std::string* error);

// GetProcAddress / dlsym: null when the library has no function of that name.
void* FindFunction(void* library, const char* name);

// For this library's static destructors: true when it is being unloaded from a process that
// goes on running (FreeLibrary, dlclose), false when the process is ending or the code is part
// of the program itself. Only in the first case must a thread that will return into this code
// be waited for.
bool UnloadingFromRunningProcess();

}  // namespace fennex::platform
