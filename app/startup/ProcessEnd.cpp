#include "ProcessEnd.h"

#include <cstdlib>
#include <mutex>

namespace {

std::mutex& hookMutex()
{
    static std::mutex mutex;
    return mutex;
}

ProcessEndHook& endHook()
{
    static ProcessEndHook hook;
    return hook;
}

}  // namespace

void endProcess(ProcessEnd how, int code)
{
    ProcessEndHook hook;
    {
        std::lock_guard<std::mutex> lock(hookMutex());
        hook = endHook();
    }
    if (hook) {
        hook(how, code);
        return;
    }
    if (how == ProcessEnd::Immediate)
        std::_Exit(code);
    std::exit(code);
}

ProcessEndHook setProcessEndHook(ProcessEndHook hook)
{
    std::lock_guard<std::mutex> lock(hookMutex());
    ProcessEndHook previous = std::move(endHook());
    endHook() = std::move(hook);
    return previous;
}
