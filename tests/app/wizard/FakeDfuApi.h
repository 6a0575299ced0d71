// A scripted DFU API for the wizard's window tests: devices are records the test edits, start
// calls return queued results and are recorded.
#pragma once

#include "IDfuApi.h"

#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

struct FakeDevice {
    DFU_DEVICE_INFO info{};
    std::vector<DFU_DEVICE_ENTRY> entries;
};

inline FakeDevice makeDevice(const std::string& name, std::uint32_t productId, const std::string& version,
                             std::uint32_t unitId, bool online = true, bool inDfu = false,
                             std::uint32_t connectionKind = DFU_CONNECTION_RECEIVER)
{
    FakeDevice d;
    std::strncpy(d.info.name, name.c_str(), 80);
    std::strncpy(d.info.version, version.c_str(), 79);
    d.info.productId = productId;
    d.info.unitId = unitId;
    d.info.online = online ? 1 : 0;
    d.info.inDfu = inDfu ? 1 : 0;
    d.info.connectionKind = connectionKind;
    return d;
}

inline DFU_DEVICE_ENTRY makeEntry(const char* prefix, std::uint16_t version, std::uint16_t build = 0)
{
    DFU_DEVICE_ENTRY e{};
    std::strncpy(e.prefix, prefix, 3);
    e.version = version;
    e.build = build;
    return e;
}

struct StartCall {
    DFU_DEVICE device;
    std::string image;
    std::string second;  // the second image, or the signature of a receiver update
    bool mainFirst;
};

class FakeDfuApi : public IDfuApi {
public:
    std::map<DFU_DEVICE, FakeDevice> devices;
    std::deque<int> updateResults;    // popped by startUpdate; DFU_OK when empty
    std::deque<int> receiverResults;  // popped by startReceiverUpdate; DFU_OK when empty
    std::vector<StartCall> updates;
    std::vector<StartCall> receiverUpdates;
    int detections = 0;
    std::function<void()> duringStart;  // runs inside startUpdate, on the caller's thread

    int startDetection() override
    {
        ++detections;
        return DFU_OK;
    }
    int getDeviceInfo(DFU_DEVICE device, DFU_DEVICE_INFO* out) override
    {
        const auto it = devices.find(device);
        if (it == devices.end())
            return DFU_ERR_INVALID_HANDLE;
        *out = it->second.info;
        return DFU_OK;
    }
    int getDeviceEntry(DFU_DEVICE device, int index, DFU_DEVICE_ENTRY* out) override
    {
        const auto it = devices.find(device);
        if (it == devices.end())
            return DFU_ERR_INVALID_HANDLE;
        if (index < 0 || static_cast<std::size_t>(index) >= it->second.entries.size())
            return DFU_ERR_NO_ENTRY;
        *out = it->second.entries[static_cast<std::size_t>(index)];
        return DFU_OK;
    }
    int startUpdate(DFU_DEVICE device, const char* image, int length, const char* second, int secondLength,
                    bool mainFirst) override
    {
        if (duringStart)
            duringStart();
        updates.push_back({device, std::string(image, static_cast<std::size_t>(length)),
                           std::string(second ? second : "", static_cast<std::size_t>(second ? secondLength : 0)),
                           mainFirst});
        return pop(updateResults);
    }
    int startReceiverUpdate(DFU_DEVICE device, const char* image, int length, const char* signature,
                            int signatureLength) override
    {
        receiverUpdates.push_back(
            {device, std::string(image, static_cast<std::size_t>(length)),
             std::string(signature ? signature : "", static_cast<std::size_t>(signature ? signatureLength : 0)),
             false});
        return pop(receiverResults);
    }

private:
    static int pop(std::deque<int>& results)
    {
        if (results.empty())
            return DFU_OK;
        const int r = results.front();
        results.pop_front();
        return r;
    }
};
