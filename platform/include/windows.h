// Stand-in for the subset of the Windows API that Quillon calls, built over the simulated machine
// (platform::sim). Types have the sizes of 64-bit Windows; text is UTF-16 in char16_t.
// Its declarations live in win/*.h, one header a concern; include this one.
#pragma once

#include <win/BaseTypes.h>
#include <win/Errors.h>
#include <win/Kernel.h>
#include <win/Files.h>
#include <win/Messages.h>
#include <win/Libraries.h>
#include <win/Registry.h>
#include <win/Security.h>
#include <win/Shell.h>

// The shell helpers (shellapi.h, shlobj.h, shlwapi.h) are declared there and include this header.
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
