// The process-wide list of live dispatchers. A dispatcher's index in it is its
// handle; notifications carry the handle, so a late message for a dispatcher
// that is gone finds nothing instead of a dangling object.
#pragma once

#include <cstddef>
#include <functional>

class TVeltBaseDispatcher;

class DispatcherRegistry {
public:
    // Takes the first empty slot, or appends; returns the handle.
    static int Add(TVeltBaseDispatcher* dispatcher);
    // Empties the slot and drops empty slots at the end of the list.
    static void Remove(int handle);
    // Runs `use` with the dispatcher of `handle` (nullptr when there is none)
    // while holding the registry's lock.
    static void With(int handle, const std::function<void(TVeltBaseDispatcher*)>& use);
    // Number of slots, empty ones inside the list included.
    static std::size_t Slots();
};
