#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <vector>

namespace devio {

// Feature 0x1800: numbered tests with free parameters; the reply must echo the test number.
class IFeature1800GenericTest : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x1800;

    class GenericResponse {
    public:
        // Every unsolicited report of the feature, unfiltered.
        virtual void onTestResponse(int /*event*/, const std::vector<Byte>& /*payload*/) {}
        virtual ~GenericResponse() = default;
    };

    ~IFeature1800GenericTest() override = default;
    // response (may be null) receives the whole reply payload, test number included.
    virtual bool SendTest(std::uint8_t testId, std::vector<Byte> params, std::vector<Byte>* response) = 0;
};

} // namespace devio
