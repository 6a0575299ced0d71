// The SDK only declares the device property keys; the program defines the ones it reads, here.
#include <windows.h>

#include <initguid.h>

#include <devpkey.h>
