// The user's connectors from the registry key tolvi.exe keeps them in, and the machine's from
// the service's key; only read, never created.
#include "console/StoredConnectors.h"

#include "config/ConfigurationStore.h"
#include "platform/RegistryStore.h"
#include "service/win32/ServiceQuery.h"

namespace tolvi::console {

StoredConnectors LoadStoredConnectors() {
    StoredConnectors stored;
    stored.hasStore = true;
    auto user = platform::OpenRegistryStore(platform::RegistryRoot::ClassesRoot, kConfigurationKey);
    stored.user = LoadConfiguration(*user, AppOptions{}).connectors;
    stored.machine = service::MachineConnectors();
    return stored;
}

}  // namespace tolvi::console
