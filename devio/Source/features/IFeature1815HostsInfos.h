#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <string>
#include <vector>

namespace devio {

// Feature 0x1815: summary and per-host information, host names read and written in chunks.
// Out-pointers may be null and are then skipped.
class IFeature1815HostsInfos : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x1815;

    ~IFeature1815HostsInfos() override = default;
    virtual bool GetHostsSummary(std::int32_t* a, std::uint16_t* b, std::uint16_t* c) = 0;
    virtual bool GetHostInfo(std::uint8_t host, std::uint16_t* info0, std::uint16_t* info1, std::uint16_t* info2,
                             std::uint16_t* info3, std::uint16_t* info4, std::uint16_t* info5) = 0;
    virtual bool GetHostDescriptor(std::uint8_t a, std::uint8_t b, std::vector<Byte>* descriptor) = 0;
    // Hosts 0 to 19; a complete name is kept and, with useCache, not fetched again.
    virtual bool GetHostName(std::int16_t host, std::string* name, bool useCache) = 0;
    // A reply under 2 bytes gives false without a code of its own.
    virtual bool GetHostNameChunk(std::uint8_t host, std::uint8_t offset, std::vector<Byte>* chunk) = 0;
    virtual bool SetHostNameChunk(std::uint8_t host, std::uint8_t offset, std::vector<Byte> data) = 0;
    virtual bool SendHostsFunction5(std::uint8_t a, std::uint8_t b) = 0;
    virtual bool SendHostsFunction6(std::uint8_t a) = 0;
    virtual bool GetHostDetails(std::uint8_t host, std::uint16_t* d0, std::uint16_t* d1, std::uint32_t* d2,
                                std::uint32_t* d3, std::uint32_t* d4) = 0;
    virtual bool SendHostsFunction8(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint16_t d,
                                    std::uint16_t e) = 0;
};

} // namespace devio
