// The tolvi service as the window shows it: whether it is installed, its connectors and how
// each runs, asked for every second on a thread of its own, so that the window never waits
// for the service.
#pragma once
#include <windows.h>

#include <mutex>
#include <thread>
#include <vector>

#include "platform/win32/UniqueHandle.h"
#include "service/ServiceStatus.h"

namespace tolvi {

struct ServiceView {
    bool installed = false;
    std::vector<service::ConnectorState> rows;  // its connectors, live while it runs
    std::vector<int> ports;                     // every port they listen on
};

class ServiceWatch {
  public:
    ServiceWatch();
    ~ServiceWatch();
    ServiceWatch(const ServiceWatch&) = delete;
    ServiceWatch& operator=(const ServiceWatch&) = delete;

    ServiceView Latest() const;

  private:
    void Run();

    mutable std::mutex lock;
    ServiceView latest;
    platform::UniqueHandle stop;
    std::thread worker;
};

}  // namespace tolvi
