#include "ProcessEnd.h"

#include <QCoreApplication>

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

QuitHook& quitHook()
{
    static QuitHook hook;
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

void quitApplication()
{
    QuitHook hook;
    {
        std::lock_guard<std::mutex> lock(hookMutex());
        hook = quitHook();
    }
    if (hook)
        hook();
    else
        QCoreApplication::quit();
}

QuitHook setQuitHook(QuitHook hook)
{
    std::lock_guard<std::mutex> lock(hookMutex());
    QuitHook previous = std::move(quitHook());
    quitHook() = std::move(hook);
    return previous;
}
