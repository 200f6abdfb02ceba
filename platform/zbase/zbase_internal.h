// Private helpers shared by the base stand-in's services (strings, lists,
// log, configuration, database).  Nothing here is exported.
#pragma once

#include <string>
#include <string_view>

#include "qelmemory.h"
#include "zbase.h"

namespace zbase {

// Sets the caller's error slot when there is one.
inline void setError(unsigned int* err, unsigned int code) {
    if (err != nullptr) {
        *err = code;
    }
}

// The host folder that stands for the platform's file-system root:
// $ZBASE_ROOT, else $XDG_DATA_HOME/zbase, else ~/.local/share/zbase.  Read
// afresh at each call, so that every test can point it at its own folder.
std::string platformRoot();

// The host path of a platform path ("/SystemRW/Lifelog/..." under the
// root).  False for a null, empty or escaping ("..") path.
bool hostPath(const char* platformPath, std::string& out);

// Makes every missing folder of `folder`; false when one cannot be made.
bool makeFolders(const std::string& folder);

// A release function for lists of platform strings.
void freeString(void* text);

}  // namespace zbase
