#include "DispatcherRegistry.h"

#include <mutex>
#include <vector>

namespace {

struct TRegistry {
    // Recursive: code run by With may free a dispatcher, which leaves the list.
    std::recursive_mutex mutex;
    std::vector<TVeltBaseDispatcher*> slots;
};

TRegistry& Registry()
{
    static TRegistry registry;
    return registry;
}

}  // namespace

int DispatcherRegistry::Add(TVeltBaseDispatcher* dispatcher)
{
    auto& r = Registry();
    std::lock_guard lock(r.mutex);
    for (std::size_t i = 0; i < r.slots.size(); ++i)
        if (!r.slots[i]) {
            r.slots[i] = dispatcher;
            return static_cast<int>(i);
        }
    r.slots.push_back(dispatcher);
    return static_cast<int>(r.slots.size() - 1);
}

void DispatcherRegistry::Remove(int handle)
{
    auto& r = Registry();
    std::lock_guard lock(r.mutex);
    if (handle < 0 || static_cast<std::size_t>(handle) >= r.slots.size()) return;
    r.slots[handle] = nullptr;
    while (!r.slots.empty() && !r.slots.back()) r.slots.pop_back();
}

void DispatcherRegistry::With(int handle, const std::function<void(TVeltBaseDispatcher*)>& use)
{
    auto& r = Registry();
    std::lock_guard lock(r.mutex);
    const bool valid = handle >= 0 && static_cast<std::size_t>(handle) < r.slots.size();
    use(valid ? r.slots[handle] : nullptr);
}

std::size_t DispatcherRegistry::Slots()
{
    auto& r = Registry();
    std::lock_guard lock(r.mutex);
    return r.slots.size();
}
