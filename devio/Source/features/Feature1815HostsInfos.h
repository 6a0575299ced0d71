#pragma once
#include "features/Feature.h"
#include "features/IFeature1815HostsInfos.h"

#include <array>
#include <mutex>

namespace devio {

class Feature1815HostsInfos : public FeatureClass<Feature1815HostsInfos, IFeature1815HostsInfos> {
public:
    using FeatureClass::FeatureClass;
    static constexpr int kHosts = 20;

    bool GetHostsSummary(std::int32_t* a, std::uint16_t* b, std::uint16_t* c) override;
    bool GetHostInfo(std::uint8_t host, std::uint16_t* info0, std::uint16_t* info1, std::uint16_t* info2,
                     std::uint16_t* info3, std::uint16_t* info4, std::uint16_t* info5) override;
    bool GetHostDescriptor(std::uint8_t a, std::uint8_t b, std::vector<Byte>* descriptor) override;
    bool GetHostName(std::int16_t host, std::string* name, bool useCache) override;
    bool GetHostNameChunk(std::uint8_t host, std::uint8_t offset, std::vector<Byte>* chunk) override;
    bool SetHostNameChunk(std::uint8_t host, std::uint8_t offset, std::vector<Byte> data) override;
    bool SendHostsFunction5(std::uint8_t a, std::uint8_t b) override;
    bool SendHostsFunction6(std::uint8_t a) override;
    bool GetHostDetails(std::uint8_t host, std::uint16_t* d0, std::uint16_t* d1, std::uint32_t* d2,
                        std::uint32_t* d3, std::uint32_t* d4) override;
    bool SendHostsFunction8(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint16_t d,
                            std::uint16_t e) override;

private:
    // Host-name cache: callers on any thread; the lock is never held across a request.
    std::mutex m_cache_mutex;
    std::array<bool, kHosts> m_name_valid{};
    std::array<std::string, kHosts> m_host_names;
};

} // namespace devio
