#include "serial/VeltEvent.h"

#include <windows.h>

namespace {

DWORD Milliseconds(int timeoutMs) { return timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs); }

}  // namespace

TVeltEvent::TVeltEvent(Reset mode)
    : handle_(CreateEventW(nullptr, mode == Reset::Manual ? TRUE : FALSE, FALSE, nullptr)), mode_(mode)
{
}

TVeltEvent::~TVeltEvent()
{
    if (handle_) CloseHandle(handle_);
}

void TVeltEvent::Set() { SetEvent(handle_); }

void TVeltEvent::ResetEvent() { ::ResetEvent(handle_); }

// An auto-reset event is cleared by the wait that finds it set.
bool TVeltEvent::TryConsume() { return WaitForSingleObject(handle_, 0) == WAIT_OBJECT_0; }

bool TVeltEvent::Wait(int timeoutMs) { return WaitForSingleObject(handle_, Milliseconds(timeoutMs)) == WAIT_OBJECT_0; }

int TVeltEvent::WaitAny(std::initializer_list<TVeltEvent*> events, int timeoutMs)
{
    HANDLE handles[MaxWaitEvents] = {};
    DWORD count = 0;
    for (TVeltEvent* e : events)
        if (count < MaxWaitEvents) handles[count++] = e->handle_;
    const DWORD result = WaitForMultipleObjects(count, handles, FALSE, Milliseconds(timeoutMs));
    if (result >= WAIT_OBJECT_0 && result < WAIT_OBJECT_0 + count) return static_cast<int>(result - WAIT_OBJECT_0);
    return -1;
}
