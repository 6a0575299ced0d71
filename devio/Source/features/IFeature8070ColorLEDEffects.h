#pragma once
#include "features/IFeature.h"
#include "features/LightingZones.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace devio {

class IRequest;

// Feature 0x8070: lighting effects per zone, chosen by index or by identifier through the zone
// table. Functions 4 to 13 and the notification need a feature version from 1 to 254.
class IFeature8070ColorLEDEffects : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x8070;

    class Report {
    public:
        virtual void onSyncReport(const std::vector<Byte>& /*payload*/) {}
        virtual ~Report() = default;
    };

    ~IFeature8070ColorLEDEffects() override = default;
    virtual bool GetInfo(std::uint32_t& zoneCount, std::uint32_t& infoWord1, std::uint32_t& infoWord2) = 0;
    virtual bool GetZoneInfo(std::uint32_t zoneIndex, ZoneInfo& info) = 0;
    virtual bool GetZoneEffect(std::uint32_t zoneIndex, std::uint32_t& effect, std::vector<Byte>& parameters,
                               std::uint8_t selector) = 0;
    virtual bool GetZoneEffectInfo(std::uint8_t zoneIndex, std::uint8_t effectIndex, ZoneEffectInfo& info) = 0;
    // Effect parameters beyond the 14 bytes a long report leaves are refused with code 46.
    virtual bool SetZoneEffectByIndex(std::uint8_t zoneIndex, std::uint8_t effectIndex,
                                      const std::vector<Byte>& parameters, bool noWait) = 0;
    virtual bool SetZoneEffect(std::uint32_t zoneId, std::uint32_t effectId, const std::vector<Byte>& parameters,
                               bool noWait) = 0;
    virtual bool SetEffectOnAllZones(std::uint32_t effectId, const std::vector<Byte>& parameters, bool noWait) = 0;
    virtual std::shared_ptr<IRequest> SetZoneEffectByIndexAsync(std::uint8_t zoneIndex, std::uint8_t effectIndex,
                                                                const std::vector<Byte>& parameters) = 0;
    virtual std::shared_ptr<IRequest> SetZoneEffectAsync(std::uint32_t zoneId, std::uint32_t effectId,
                                                         const std::vector<Byte>& parameters) = 0;
    virtual bool SupportsExtendedFunctions() = 0;
    virtual bool GetIndexedSetting(std::uint32_t key, std::uint8_t* value1, std::uint8_t* value2,
                                   std::uint8_t* value3, std::uint8_t* head1, std::uint8_t* head2) = 0;
    virtual bool SetIndexedSetting(std::uint32_t key, std::uint8_t value1, std::uint8_t value2,
                                   std::uint8_t value3) = 0;
    virtual bool GetFourWords(std::uint8_t first, const std::uint8_t* second, std::uint32_t& word0,
                              std::uint32_t& word1, std::uint32_t& word2, std::uint32_t& word3) = 0;
    virtual bool GetFlagPair(bool& flag1, bool& flag2) = 0;
    virtual bool SetBytePair(std::uint8_t first, std::uint8_t second) = 0;
    virtual bool GetZoneByteList(std::uint32_t zoneIndex, std::uint32_t& head, std::vector<Byte>& list) = 0;
    virtual bool ZoneCommand(std::uint32_t zoneIndex) = 0;
    virtual bool ByteCommand(std::uint8_t value) = 0;
    virtual bool GetZoneTriple(std::uint32_t zoneIndex, std::uint32_t& a, std::uint32_t& b, std::uint32_t& c) = 0;
    virtual bool SetZoneWord(std::uint32_t zoneIndex, std::uint32_t value) = 0;
};

} // namespace devio
