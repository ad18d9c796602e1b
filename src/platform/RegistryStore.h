// The registry key behind the configuration store and the start-with-Windows entry (Windows).
#pragma once
#include <memory>
#include <string>

#include "platform/KeyValueStore.h"

namespace tolvi::platform {

enum class RegistryRoot { ClassesRoot, CurrentUser };

// root\subKey. A key under HKEY_CLASSES_ROOT that a user without administrator rights may not
// create is created as HKEY_CURRENT_USER\Software\Classes\subKey instead, which
// HKEY_CLASSES_ROOT shows to that user.
std::unique_ptr<KeyValueStore> OpenRegistryStore(RegistryRoot root, const std::string& subKey);

}  // namespace tolvi::platform
