// Quitting the Qt application; apart from ProcessEnd.cpp so that the process end needs no Qt.
#include "ProcessEnd.h"

#include <QCoreApplication>

#include <mutex>

namespace {

std::mutex& quitMutex()
{
    static std::mutex mutex;
    return mutex;
}

QuitHook& quitHook()
{
    static QuitHook hook;
    return hook;
}

}  // namespace

void quitApplication()
{
    QuitHook hook;
    {
        std::lock_guard<std::mutex> lock(quitMutex());
        hook = quitHook();
    }
    if (hook)
        hook();
    else
        QCoreApplication::quit();
}

QuitHook setQuitHook(QuitHook hook)
{
    std::lock_guard<std::mutex> lock(quitMutex());
    QuitHook previous = std::move(quitHook());
    quitHook() = std::move(hook);
    return previous;
}
