// The program's non-Qt half started as the wizard starts it: debug log, DFU API, detection. It
// must report the end of enumeration within 5 s and answer the empty handle with
// DFU_ERR_INVALID_HANDLE; then it ends as the wizard ends (log closed, process ended at once).
#include "DebugLog.h"
#include "DfuApi.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

std::mutex g_mutex;
std::condition_variable g_changed;
bool g_enumerated = false;

void onEvent(void*, DFU_DEVICE device, DFU_EVENTTYPE event, int parameter)
{
    std::printf("event %u device %llu parameter %d\n", static_cast<unsigned>(event),
                static_cast<unsigned long long>(device), parameter);
    if (event != DFU_EVENT_ENUMERATION_COMPLETE)
        return;
    std::lock_guard<std::mutex> lock(g_mutex);
    g_enumerated = true;
    g_changed.notify_all();
}

int fail(const char* what)
{
    std::printf("FAILED: %s\n", what);
    std::fflush(stdout);
    std::_Exit(1);
}

}  // namespace

int main()
{
    debugLogOpen();
    DFU_SetLogCallback(debugLogSink);
    if (DFU_Init(onEvent, nullptr) != DFU_OK)
        return fail("DFU_Init");
    if (DFU_StartDetection() != DFU_OK)
        return fail("DFU_StartDetection");
    {
        std::unique_lock<std::mutex> lock(g_mutex);
        if (!g_changed.wait_for(lock, std::chrono::seconds(5), [] { return g_enumerated; }))
            return fail("no enumeration-complete event within 5 s");
    }
    DFU_DEVICE_INFO info{};
    const int result = DFU_GetDeviceInfo(0, &info);
    if (result != DFU_ERR_INVALID_HANDLE) {
        std::printf("DFU_GetDeviceInfo(0) = %d\n", result);
        return fail("DFU_GetDeviceInfo(0) is not DFU_ERR_INVALID_HANDLE");
    }
    std::printf("enumeration complete; DFU_GetDeviceInfo(0) = %d\n", result);
    std::fflush(stdout);
    debugLogClose();
    std::_Exit(0);
}
