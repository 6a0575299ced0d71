#pragma once
// A provider over the real devio stack and the simulated machine, with a scripted engine.

#include "AppTestSupport.h"
#include "cDFUDeviceProvider.h"

#include "core/Timing.h"
#include "quillon/DfuImage.h"

#include <sim/DeviceTree.h>
#include <sim/Kernel.h>

#include <memory>
#include <vector>

namespace app::test {

// A firmware image of ours: header, then `payload` bytes of a pattern that differs per seed.
inline std::vector<char> make_image(std::uint16_t productId, std::uint32_t payload, std::uint16_t version,
                                    std::uint16_t build, bool radioStack = false, std::uint8_t seed = 7)
{
    quillon::dfu::Header h;
    h.productId = productId;
    h.length = payload;
    h.version = version;
    h.build = build;
    h.radioStack = radioStack;
    const auto header = quillon::dfu::encodeHeader(h);
    std::vector<char> image(header.begin(), header.end());
    for (std::uint32_t i = 0; i < payload; ++i)
        image.push_back(static_cast<char>((i * 31u + seed) & 0xFF));
    return image;
}

inline std::vector<std::uint8_t> bytes_of(const std::vector<char>& v)
{
    return std::vector<std::uint8_t>(v.begin(), v.end());
}

class ProviderRig {
public:
    // Timing is shortened twentyfold: the 15 s transfer time-out is 750 ms here.
    explicit ProviderRig(std::uint32_t scaleDown = 20)
    {
        platform::sim::reset_machine();
        devio::Timing::setScale(1, scaleDown);
        registration.set(&EventLog::callback, &log);
        engine = std::make_shared<EngineDouble>();
        provider = std::make_unique<cDFUDeviceProvider>(engine, registration);
    }
    ~ProviderRig()
    {
        provider.reset();
        registration.set(nullptr, nullptr);
        platform::sim::remove_all_dev_nodes();
        devio::Timing::reset();
    }
    void start()
    {
        provider->start();
        engine->wait_for_init();
    }
    // The adapter that arrived for this product id (0 on the deadline).
    DFU_DEVICE arrival_of(std::uint32_t productId, int nth = 1)
    {
        int seen = 0;
        return log.wait_for_arrival([&](DFU_DEVICE d) {
            DFU_DEVICE_INFO info{};
            auto adapter = provider->findDevice(d);
            if (!adapter)
                return false;
            adapter->getInfo(&info);
            return info.productId == productId && ++seen == nth;
        });
    }
    DFU_DEVICE_INFO info(DFU_DEVICE d)
    {
        DFU_DEVICE_INFO out{};
        if (auto adapter = provider->findDevice(d))
            adapter->getInfo(&out);
        return out;
    }
    int start_update(DFU_DEVICE d, const std::vector<char>& image, const std::vector<char>& second = {},
                     bool mainFirst = false)
    {
        auto adapter = provider->findDevice(d);
        if (!adapter)
            return DFU_ERR_INVALID_HANDLE;
        return adapter->startUpdate(image.data(), static_cast<int>(image.size()),
                                    second.empty() ? nullptr : second.data(), static_cast<int>(second.size()),
                                    mainFirst);
    }
    bool wait_status(DFU_DEVICE d, int status, std::chrono::milliseconds deadline = 20s)
    {
        return log.wait_for_event(d, DFU_EVENT_STATUS, status, deadline);
    }
    // The status events of a device, in order.
    std::vector<int> statuses(DFU_DEVICE d)
    {
        std::vector<int> out;
        for (const DfuEvent& e : log.events())
            if (e.device == d && e.event == DFU_EVENT_STATUS)
                out.push_back(e.parameter);
        return out;
    }

    EventLog log;
    DfuCallbackRegistration registration;
    std::shared_ptr<EngineDouble> engine;
    std::unique_ptr<cDFUDeviceProvider> provider;
};

} // namespace app::test
