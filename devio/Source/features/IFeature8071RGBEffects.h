#pragma once
#include "features/IFeature.h"
#include "features/LightingZones.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace devio {

class IRequest;

// Feature 0x8071: RGB effects per zone with the zone table of 0x8070; information through
// function 0 with 0xFF for "no zone or effect", settings read (0) or written (1) by a leading byte.
class IFeature8071RGBEffects : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x8071;

    // Bytes 0 and 1 are the caller's selectors; GetEffectDetails fills the rest (byte 3 stays).
    struct EffectDetails {
        std::array<Byte, 64> bytes{};
    };
    struct WordPair {
        std::uint16_t first = 0;
        std::uint16_t second = 0;
    };

    class Report {
    public:
        virtual void onSyncReport(const std::vector<Byte>& /*payload*/) {}
        virtual void onUserActivity(const std::vector<Byte>& /*payload*/) {}
        virtual ~Report() = default;
    };

    ~IFeature8071RGBEffects() override = default;
    virtual bool GetInfo(std::uint32_t& zoneCount, std::uint32_t& infoWord1, std::uint32_t& infoWord2) = 0;
    virtual bool GetZoneInfo(std::uint32_t zoneIndex, ZoneInfo& info) = 0;
    virtual bool GetEffectInfo(std::uint8_t zoneIndex, std::uint8_t effectIndex, ZoneEffectInfo& info) = 0;
    virtual bool GetEffectDetails(EffectDetails& details) = 0;
    // Effect parameters beyond the 14 bytes a long report leaves are refused with code 46.
    virtual bool SetEffectByIndex(std::uint8_t zoneIndex, std::uint8_t effectIndex,
                                  const std::vector<Byte>& parameters) = 0;
    virtual std::shared_ptr<IRequest> SetEffectByIndex_Async(std::uint8_t zoneIndex, std::uint8_t effectIndex,
                                                             const std::vector<Byte>& parameters) = 0;
    virtual bool SetEffect(std::uint32_t zoneId, std::uint32_t effectId, const std::vector<Byte>& parameters) = 0;
    virtual std::shared_ptr<IRequest> SetEffectAsync(std::uint32_t zoneId, std::uint32_t effectId,
                                                     const std::vector<Byte>& parameters) = 0;
    virtual bool GetIndexedSetting(std::uint32_t key, std::uint8_t* value1, std::uint8_t* value2,
                                   std::uint8_t* value3) = 0;
    virtual bool SetIndexedSetting(std::uint32_t key, std::uint8_t value1, std::uint8_t value2,
                                   std::uint8_t value3) = 0;
    virtual bool GetSettingPair(std::uint32_t& a, std::uint32_t& b) = 0;
    virtual bool SetSettingPair(std::uint8_t a, std::uint8_t b) = 0;
    virtual bool GetFourWords(std::uint8_t first, const std::uint8_t* second, std::uint32_t& word0,
                              std::uint32_t& word1, std::uint32_t& word2, std::uint32_t& word3) = 0;
    virtual bool SetBytePair(std::uint8_t a, std::uint8_t b) = 0;
    virtual bool GetWordTriple(std::uint32_t& value, WordPair& pair) = 0;
    virtual bool SetWordTriple(std::uint16_t value, WordPair pair) = 0;
    virtual bool GetByteSetting(std::uint32_t& value) = 0;
    virtual bool SetByteSetting(std::uint8_t value) = 0;
    virtual bool SetZoneWord(std::uint32_t zoneIndex, std::uint32_t value) = 0;
};

} // namespace devio
