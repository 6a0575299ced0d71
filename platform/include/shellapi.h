// Shell execution (stand-in).
#pragma once
#include <windows.h>

BOOL ShellExecuteExA(SHELLEXECUTEINFOA* info);
BOOL ShellExecuteExW(SHELLEXECUTEINFOW* info);
