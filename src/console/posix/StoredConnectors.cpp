// No store of connectors on POSIX: every connector there is started from a command line.
#include "console/StoredConnectors.h"

namespace tolvi::console {

StoredConnectors LoadStoredConnectors() {
    return StoredConnectors{};
}

}  // namespace tolvi::console
