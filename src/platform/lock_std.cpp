// The library lock outside Windows: a standard recursive mutex, built in static storage when
// the library is loaded and never destroyed (unloading frees nothing).
//
// Recursive, because the Windows mutex it stands in for is: the host's hooks and callbacks
// run with the lock held, on the caller's thread, and a host that calls an export from inside
// one must behave the same on every target. With a plain mutex that thread would wait on
// itself forever and freeze the terminal.
#include <mutex>
#include <new>

#include "platform/platform.h"

namespace kesvar {
namespace platform {

namespace {
alignas(std::recursive_mutex) unsigned char lockStorage[sizeof(std::recursive_mutex)];
std::once_flag lockCreated;

std::recursive_mutex& TheLock() {
    return *std::launder(reinterpret_cast<std::recursive_mutex*>(lockStorage));
}
} // namespace

void ProcessAttach() {
    std::call_once(lockCreated, [] { new (lockStorage) std::recursive_mutex(); });
}

void Lock() {
    // The load hook has normally run already; this only guards hosts that link the core
    // statically and call in before their own constructors ran.
    ProcessAttach();
    TheLock().lock();
}

void Unlock() {
    TheLock().unlock();
}

} // namespace platform
} // namespace kesvar
