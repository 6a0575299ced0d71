// The two ways the program ends: `exit` after an elevated copy ran (static destructors run) and
// `_Exit` at quit (nothing runs). Both go through one hook so tests can watch them instead.
#pragma once

#include <functional>

enum class ProcessEnd {
    Orderly,    // exit(code)
    Immediate,  // _Exit(code)
};

using ProcessEndHook = std::function<void(ProcessEnd how, int code)>;

// Ends the process through the installed hook. The default hook never returns; a test hook may.
void endProcess(ProcessEnd how, int code);
// Installs a hook; an empty one restores the default. Returns the previous hook.
ProcessEndHook setProcessEndHook(ProcessEndHook hook);

// Quitting the Qt application (wizard buttons, title bar): QCoreApplication::quit by default.
using QuitHook = std::function<void()>;
void quitApplication();
QuitHook setQuitHook(QuitHook hook);
