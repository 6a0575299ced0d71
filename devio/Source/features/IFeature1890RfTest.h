#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x1890: radio tests. Channels above 78 and level 16 are refused without a code and
// without sending; every test first marks the configuration as changed by the host.
class IFeature1890RfTest : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x1890;

    ~IFeature1890RfTest() override = default;
    virtual bool RfTestFunction0(std::int32_t value32, std::uint8_t byteA, std::uint32_t channel, std::uint32_t level,
                                 std::uint8_t byteB, std::uint8_t byteC, std::uint16_t value16, std::uint8_t byteD,
                                 std::uint32_t& result) = 0;
    virtual bool RfTestFunction1(std::uint32_t channel, std::uint32_t level, std::uint16_t value16) = 0;
    virtual bool RfTestFunction2(std::uint32_t channel, std::uint32_t level, std::uint16_t value16) = 0;
    virtual bool RfTestFunction3(std::uint32_t channel1, std::uint32_t channel2, std::uint32_t level,
                                 std::uint8_t byteA) = 0;
    virtual bool RfTestFunction4(std::uint32_t channel1, std::uint32_t channel2, std::uint32_t level,
                                 std::uint8_t byteA) = 0;
    virtual bool RfTestFunction5(std::int32_t value32, std::uint8_t byteA, std::uint32_t channel, std::uint32_t level,
                                 std::uint8_t byteB, std::uint8_t byteC, std::uint16_t value16, std::uint8_t byteD) = 0;
    virtual bool RfTestFunction6(std::int32_t value32, std::uint8_t byteA, std::uint32_t channel, std::uint32_t level,
                                 std::uint8_t byteB, std::uint16_t value16, std::uint8_t byteD) = 0;
};

} // namespace devio
