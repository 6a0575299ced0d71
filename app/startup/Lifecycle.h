// What main hands to others: the DFU event callback and the quit handler.
#pragma once

#include "DfuApi.h"

// The DFU_Callback: context is the MainWidget; emits its DfuEvent on the calling thread.
void dfuEventCallback(void* context, DFU_DEVICE device, DFU_EVENTTYPE event, int param);

// Connected to QCoreApplication::aboutToQuit: closes the debug log, puts the Windows 7 setting
// back and ends the process at once (no destructor runs).
void onAboutToQuit();
