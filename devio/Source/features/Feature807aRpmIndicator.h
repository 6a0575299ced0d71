#pragma once
#include "features/Feature.h"
#include "features/IFeature807aRpmIndicator.h"

#include <atomic>

namespace devio {

class Feature807aRpmIndicator : public FeatureClass<Feature807aRpmIndicator, IFeature807aRpmIndicator>,
                                public Producer<IFeature807aRpmIndicator::Report> {
public:
    using FeatureClass::FeatureClass;

    bool GetInfo(std::uint8_t* mode, std::uint32_t* infoByte1, std::uint32_t* ledCount) override;
    bool GetLedBytes(std::vector<Byte>* bytes) override;
    bool GetStateByte(std::uint8_t* value) override;
    bool GetIndexedByte(std::uint8_t index, std::uint8_t* value) override;
    bool GetLedStates(std::uint8_t first, std::uint8_t count, std::vector<std::uint32_t>& states) override;
    bool SetLedStates(std::uint8_t first, std::uint8_t count, const std::vector<std::uint32_t>& states) override;
    bool SetThreeWords(std::uint32_t a, std::uint32_t b, std::uint32_t c) override;
    bool GetThreeWords(std::uint32_t* a, std::uint32_t* b, std::uint32_t* c) override;

    // The packing of LED states for `mode` (nothing for a mode without one).
    static std::vector<Byte> pack(std::uint8_t mode, std::uint8_t count, const std::vector<std::uint32_t>& states);
    static std::vector<std::uint32_t> unpack(std::uint8_t mode, const std::vector<Byte>& reply);

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;

private:
    // The kept mode; asks the device while none is kept (0 when that fails).
    std::uint8_t current_mode();

    // Cleared by the mode-change notification on the report thread, so the next lookup asks.
    std::atomic<std::uint8_t> m_mode{0};
    std::atomic<std::uint32_t> m_led_count{0};
};

} // namespace devio
