#pragma once
#include "features/Feature.h"
#include "features/IFeature4531MultiPlatform.h"

namespace devio {

class Feature4531MultiPlatform : public FeatureClass<Feature4531MultiPlatform, IFeature4531MultiPlatform>,
                                 public Producer<IFeature4531MultiPlatform::Report> {
public:
    using FeatureClass::FeatureClass;

    bool GetPlatformInfo(std::uint32_t* first, std::uint16_t* second, std::uint16_t* third, std::uint16_t* fourth,
                         std::uint16_t* fifth, std::uint16_t* sixth) override;
    bool GetPlatformRecord(std::uint8_t index, std::vector<Byte>* record) override;
    bool GetPlatformState(std::uint8_t index, std::uint16_t* v0, std::uint16_t* v1, std::uint16_t* v2,
                          std::uint16_t* v3, std::uint16_t* v4, std::uint16_t* v5) override;
    bool SetPlatform(std::uint8_t first, std::uint8_t second) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
};

} // namespace devio
