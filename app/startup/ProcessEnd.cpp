#include "ProcessEnd.h"

#include "HookSlot.h"

#include <cstdlib>

namespace {

HookSlot<ProcessEndHook>& endHook()
{
    static HookSlot<ProcessEndHook> slot;
    return slot;
}

}  // namespace

void endProcess(ProcessEnd how, int code)
{
    if (const ProcessEndHook hook = endHook().get()) {
        hook(how, code);
        return;
    }
    if (how == ProcessEnd::Immediate)
        std::_Exit(code);
    std::exit(code);
}

ProcessEndHook setProcessEndHook(ProcessEndHook hook)
{
    return endHook().exchange(std::move(hook));
}
