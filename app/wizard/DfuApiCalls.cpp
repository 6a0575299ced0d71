#include "IDfuApi.h"

namespace {

class DfuApiCalls final : public IDfuApi {
public:
    int startDetection() override { return DFU_StartDetection(); }
    int getDeviceInfo(DFU_DEVICE device, DFU_DEVICE_INFO* out) override { return DFU_GetDeviceInfo(device, out); }
    int getDeviceEntry(DFU_DEVICE device, int index, DFU_DEVICE_ENTRY* out) override
    {
        return DFU_GetDeviceEntry(device, index, out);
    }
    int startUpdate(DFU_DEVICE device, const char* image, int length, const char* secondImage, int secondLength,
                    bool mainFirst) override
    {
        return DFU_StartUpdate(device, image, length, secondImage, secondLength, mainFirst);
    }
    int startReceiverUpdate(DFU_DEVICE device, const char* image, int length, const char* signature,
                            int signatureLength) override
    {
        return DFU_StartReceiverUpdate(device, image, length, signature, signatureLength);
    }
};

}  // namespace

IDfuApi& dfuApi()
{
    static DfuApiCalls calls;
    return calls;
}
