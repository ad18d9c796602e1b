// The registry key behind the configuration store and the start-with-Windows entry (Windows).
#pragma once
#include <memory>
#include <string>

#include "platform/KeyValueStore.h"

namespace tolvi::platform {

enum class RegistryRoot { ClassesRoot, CurrentUser, LocalMachine };

// root\subKey. A key under HKEY_CLASSES_ROOT that a user without administrator rights may not
// create is created as HKEY_CURRENT_USER\Software\Classes\subKey instead, which
// HKEY_CLASSES_ROOT shows to that user.
//
// Keys under HKEY_CLASSES_ROOT live in the 32-bit registry view, whatever this build is, so
// that 32-bit and 64-bit builds share one configuration (WOW64 gives each its own copy of
// Interface otherwise). A key that only an earlier 64-bit build left in the 64-bit view is
// moved into the 32-bit view the first time it is opened. Keys under HKEY_LOCAL_MACHINE (the
// service's connectors) live in the 32-bit view too; keys under HKEY_CURRENT_USER (the Run
// key) are not redirected and are opened as they are. Texts are UTF-8 in the store and UTF-16
// in the registry.
std::unique_ptr<KeyValueStore> OpenRegistryStore(RegistryRoot root, const std::string& subKey);

// Removes root\subKey with its values from the view the store uses (and the per-user copy
// that stands in for it); true when nothing of it is left.
bool DeleteRegistryKey(RegistryRoot root, const std::string& subKey);

}  // namespace tolvi::platform
