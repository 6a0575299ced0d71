#include "Lifecycle.h"

#include "DebugLog.h"
#include "MainWidget.h"
#include "ProcessEnd.h"
#include "Startup.h"

void dfuEventCallback(void* context, DFU_DEVICE device, DFU_EVENTTYPE event, int param)
{
    if (context)
        emit static_cast<MainWidget*>(context)->DfuEvent(device, event, param);
}

void onAboutToQuit()
{
    debugLogClose();
    if (isWindows7())
        restoreDriverSearchSetting();
    endProcess(ProcessEnd::Immediate, 0);
}
