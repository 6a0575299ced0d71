// The C entry points: check arguments, delegate, map to a result code; nothing throws out.
#include "QVApi.h"

#include "DfuManager.h"
#include "EngineLog.h"
#include "Enumerator.h"
#include "EventHolder.h"
#include "FSRepository.h"

#include <atomic>
#include <cstring>
#include <mutex>

namespace {

std::mutex g_initMutex;
std::atomic<bool> g_running{false};

const QV_DEVICE_INFO& generic_record()
{
    static const QV_DEVICE_INFO record = [] {
        QV_DEVICE_INFO r;
        std::memset(&r, 0, sizeof r);
        r.DevType = 0;
        r.Parent = static_cast<uint64_t>(-1);
        r.RadioType = 4;
        r.ModelID = 0;
        qv::copy_bounded(r.Name, 80, QV_W("Generic Receiver"));
        r.RadioStatus = 3;
        r.Flags = 6;
        r.Slider = 0;
        r.DFUStatus = 1;
        r.Battery = 1;
        return r;
    }();
    return record;
}

// A path that would not fit the engine's 260-character fields is refused, never cut.
bool fits_path(const WCHAR* path)
{
    return qv::wide_length(path, MAX_PATH) < MAX_PATH;
}

}  // namespace

extern "C" int QV_Init(QV_Callback callback, void* context)
{
    try {
        std::lock_guard<std::mutex> lock(g_initMutex);
        if (g_running.load())
            return QV_NOT_SUPPORTED;
        qv::EventHolder::instance().set(callback, context);
        qv::EngineLog::instance();
        if (qv::Enumerator::instance().start())
            g_running.store(true);
        return QV_SUCCESS;
    } catch (...) {
        return QV_SUCCESS;
    }
}

extern "C" void QV_Shutdown(void)
{
    try {
        qv::EventHolder::instance().clear();
        qv::DfuManager::instance().shutdown();
        qv::Enumerator::instance().stop();
    } catch (...) {
    }
}

extern "C" int QV_GetDeviceInfo(int64_t handle, QV_DEVICE_INFO* out)
{
    if (!out)
        return QV_INVALID_PARAM;
    if (handle == QV_GENERIC_HANDLE) {
        *out = generic_record();
        return QV_SUCCESS;
    }
    try {
        return qv::Enumerator::instance().copy_record(static_cast<uint64_t>(handle), *out) ? QV_SUCCESS
                                                                                          : QV_DEVICE_ERROR;
    } catch (...) {
        return QV_DEVICE_ERROR;
    }
}

extern "C" int QV_StartDFU(int64_t handle, unsigned int silent, int forceOldest, const WCHAR* firmwareFile,
                           int forceCrash, const WCHAR* signatureFile)
{
    try {
        QV_DEVICE_INFO record;
        if (handle == QV_GENERIC_HANDLE)
            record = generic_record();
        else if (!qv::Enumerator::instance().copy_record(static_cast<uint64_t>(handle), record))
            return QV_INVALID_HANDLE;
        qv::DfuManager& manager = qv::DfuManager::instance();
        const auto h = static_cast<std::uint64_t>(handle);
        if (forceOldest)
            return manager.start_operation(h, 7, silent, nullptr, nullptr);
        qv::WString firmware, signature;
        bool haveSignature = false;
        if (forceCrash) {
            qv::VersionRecord v;
            qv::split_version_text(record.FW, v);
            const char* format = record.DevType != 0 ? "%s\\%s_%03x_CRASHME.bin" : "%s\\%s_%03x_CRASHME.hex";
            firmware = qv::wformat(format, qv::narrow(manager.firmware_folder()).c_str(), qv::narrow(v.prefix).c_str(),
                                   v.number);
            if (firmware.size() >= MAX_PATH)
                return QV_INVALID_PARAM;
        } else {
            if (signatureFile) {
                if (!fits_path(signatureFile))
                    return QV_INVALID_PARAM;
                signature = signatureFile;
                haveSignature = true;
            }
            if (!firmwareFile)
                return QV_NOT_SUPPORTED;
            if (!fits_path(firmwareFile))
                return QV_INVALID_PARAM;
            firmware = firmwareFile;
        }
        const unsigned op = (record.DevType != 0 && record.DevType != 4) ? 5 : 6;
        return manager.start_operation(h, op, silent, &firmware, haveSignature ? &signature : nullptr);
    } catch (...) {
        return QV_RESOURCE_ERROR;
    }
}
