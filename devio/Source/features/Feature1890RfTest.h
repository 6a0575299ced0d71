#pragma once
#include "features/Feature.h"
#include "features/IFeature1890RfTest.h"

namespace devio {

class Feature1890RfTest : public FeatureClass<Feature1890RfTest, IFeature1890RfTest> {
public:
    using FeatureClass::FeatureClass;

    bool RfTestFunction0(std::int32_t value32, std::uint8_t byteA, std::uint32_t channel, std::uint32_t level,
                         std::uint8_t byteB, std::uint8_t byteC, std::uint16_t value16, std::uint8_t byteD,
                         std::uint32_t& result) override;
    bool RfTestFunction1(std::uint32_t channel, std::uint32_t level, std::uint16_t value16) override;
    bool RfTestFunction2(std::uint32_t channel, std::uint32_t level, std::uint16_t value16) override;
    bool RfTestFunction3(std::uint32_t channel1, std::uint32_t channel2, std::uint32_t level,
                         std::uint8_t byteA) override;
    bool RfTestFunction4(std::uint32_t channel1, std::uint32_t channel2, std::uint32_t level,
                         std::uint8_t byteA) override;
    bool RfTestFunction5(std::int32_t value32, std::uint8_t byteA, std::uint32_t channel, std::uint32_t level,
                         std::uint8_t byteB, std::uint8_t byteC, std::uint16_t value16, std::uint8_t byteD) override;
    bool RfTestFunction6(std::int32_t value32, std::uint8_t byteA, std::uint32_t channel, std::uint32_t level,
                         std::uint8_t byteB, std::uint16_t value16, std::uint8_t byteD) override;

private:
    // Range checks (no code), the configuration mark, then the request.
    bool run(std::uint32_t function, std::initializer_list<std::uint32_t> channels, std::uint32_t level,
             const std::vector<Byte>& params, std::vector<Byte>* reply);
};

} // namespace devio
