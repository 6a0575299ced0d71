// The four engine calls the application makes, behind a seam so that the provider and the
// receiver adapter can be driven by a scripted double in tests.
#pragma once

#include <QVApi.h>

#include <cstdint>
#include <memory>

class IQVEngine {
public:
    virtual ~IQVEngine() = default;
    virtual int init(QV_Callback callback, void* context) = 0;
    virtual void shutdown() = 0;
    virtual int getDeviceInfo(std::int64_t handle, QV_DEVICE_INFO* out) = 0;
    virtual int startDFU(std::int64_t handle, unsigned silent, int forceOldest, const WCHAR* firmwareFile,
                         int forceCrash, const WCHAR* signatureFile) = 0;
};

// The engine library itself.
std::shared_ptr<IQVEngine> realQVEngine();
