#include "QVEngine.h"

namespace {

class RealQVEngine : public IQVEngine {
public:
    int init(QV_Callback callback, void* context) override { return QV_Init(callback, context); }
    void shutdown() override { QV_Shutdown(); }
    int getDeviceInfo(std::int64_t handle, QV_DEVICE_INFO* out) override { return QV_GetDeviceInfo(handle, out); }
    int startDFU(std::int64_t handle, unsigned silent, int forceOldest, const WCHAR* firmwareFile, int forceCrash,
                 const WCHAR* signatureFile) override
    {
        return QV_StartDFU(handle, silent, forceOldest, firmwareFile, forceCrash, signatureFile);
    }
};

} // namespace

std::shared_ptr<IQVEngine> realQVEngine()
{
    static const std::shared_ptr<IQVEngine> engine = std::make_shared<RealQVEngine>();
    return engine;
}
