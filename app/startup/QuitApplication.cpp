// Quitting the Qt application; apart from ProcessEnd.cpp so that the process end needs no Qt.
#include "HookSlot.h"
#include "ProcessEnd.h"

#include <QCoreApplication>

namespace {

HookSlot<QuitHook>& quitHook()
{
    static HookSlot<QuitHook> slot;
    return slot;
}

}  // namespace

void quitApplication()
{
    if (const QuitHook hook = quitHook().get())
        hook();
    else
        QCoreApplication::quit();
}

QuitHook setQuitHook(QuitHook hook)
{
    return quitHook().exchange(std::move(hook));
}
