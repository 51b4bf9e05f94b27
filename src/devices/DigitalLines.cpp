#include "devices/DigitalLines.h"

#include <mutex>
#include <utility>

namespace {

std::mutex g_driverMutex;
std::shared_ptr<DigitalLineDriver> g_driver;

} // namespace

std::shared_ptr<DigitalLineDriver> InstalledDigitalLineDriver()
{
    std::lock_guard<std::mutex> lock(g_driverMutex);
    return g_driver;
}

std::shared_ptr<DigitalLineDriver> SetDigitalLineDriver(std::shared_ptr<DigitalLineDriver> driver)
{
    std::lock_guard<std::mutex> lock(g_driverMutex);
    std::swap(g_driver, driver);
    return driver;
}
