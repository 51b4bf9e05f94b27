#include "app/GuiSeam.h"

#include <mutex>

namespace {

std::mutex g_frameworkMutex;
std::shared_ptr<AppFramework> g_framework;

} // namespace

AppFramework *Framework()
{
    std::lock_guard<std::mutex> lock(g_frameworkMutex);
    return g_framework.get();
}

std::shared_ptr<AppFramework> SetFramework(std::shared_ptr<AppFramework> framework)
{
    std::lock_guard<std::mutex> lock(g_frameworkMutex);
    std::shared_ptr<AppFramework> previous = std::move(g_framework);
    g_framework = std::move(framework);
    return previous;
}
