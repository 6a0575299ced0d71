#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <vector>

namespace devio {

// Feature 0x00D0: carries a firmware image into a device in its update mode.
class IFeature00d0DFU : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x00D0;

    class Report {
    public:
        // Packet number the device expects next, and the whole status record (byte 4 = status).
        virtual void onDfuStatus(std::uint32_t /*packetNumber*/, std::vector<Byte> /*payload*/) {}
        virtual ~Report() = default;
    };

    ~IFeature00d0DFU() override = default;
    virtual bool DfuStart(std::vector<Byte> params, std::uint32_t* status, std::vector<Byte>* reply) = 0;
    virtual bool DfuCmdData(std::uint32_t packetNumber, std::vector<Byte> packet) = 0;
    // Always true; returns one second after the write.
    virtual bool Restart(std::uint8_t value) = 0;
};

} // namespace devio
