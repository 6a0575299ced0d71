// Control of the stand-in Windows Runtime: activation by class name, the runtime's own threads
// (asynchronous completions and events run there) and counters for tests.
#pragma once

#include <inspectable.h>

#include <functional>
#include <string>

namespace platform::sim {

// RoGetActivationFactory of `className` calls `factory` with the requested interface id; it
// answers like QueryInterface (E_NOINTERFACE for an id it does not offer).
using ActivationFactory = std::function<HRESULT(REFIID iid, void** object)>;
void register_activation_factory(const std::u16string& className, ActivationFactory factory);
// RoActivateInstance of `className`.
using Activator = std::function<HRESULT(IInspectable** instance)>;
void register_activatable_class(const std::u16string& className, Activator activator);
void unregister_runtime_class(const std::u16string& className);

// Runs `work` on a runtime thread. A thread busy in a handler is never waited for: another
// thread takes the work.
void run_on_runtime_thread(std::function<void()> work);
// Waits until no runtime thread runs work (false after `timeoutMs`).
bool wait_runtime_idle(unsigned timeoutMs);
// True on a runtime thread.
bool on_runtime_thread();

// HSTRINGs made by WindowsCreateString and not yet deleted.
long live_hstring_count();
unsigned ro_initialize_count();

// UTF-16 <-> UTF-8 for the runtime's strings.
std::u16string to_utf16(const std::string& utf8);
std::string to_utf8(const std::u16string& utf16);

} // namespace platform::sim
