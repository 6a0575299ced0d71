// HID usage tables (stand-in): the usage type the HID parser's declarations take.
#pragma once

#include <windows.h>

typedef USHORT USAGE, *PUSAGE;
