#pragma once
#include "features/Feature.h"
#include "features/FeatureHelpers.h"
#include "features/IFeature8070ColorLEDEffects.h"

namespace devio {

// Sends nothing when created: the zone table is loaded by the first operation that needs it,
// the version by the first version check.
class Feature8070ColorLEDEffects : public FeatureClass<Feature8070ColorLEDEffects, IFeature8070ColorLEDEffects>,
                                   public Producer<IFeature8070ColorLEDEffects::Report> {
public:
    using FeatureClass::FeatureClass;

    bool GetInfo(std::uint32_t& zoneCount, std::uint32_t& infoWord1, std::uint32_t& infoWord2) override;
    bool GetZoneInfo(std::uint32_t zoneIndex, ZoneInfo& info) override;
    bool GetZoneEffect(std::uint32_t zoneIndex, std::uint32_t& effect, std::vector<Byte>& parameters,
                       std::uint8_t selector) override;
    bool GetZoneEffectInfo(std::uint8_t zoneIndex, std::uint8_t effectIndex, ZoneEffectInfo& info) override;
    bool SetZoneEffectByIndex(std::uint8_t zoneIndex, std::uint8_t effectIndex, const std::vector<Byte>& parameters,
                              bool noWait) override;
    bool SetZoneEffect(std::uint32_t zoneId, std::uint32_t effectId, const std::vector<Byte>& parameters,
                       bool noWait) override;
    bool SetEffectOnAllZones(std::uint32_t effectId, const std::vector<Byte>& parameters, bool noWait) override;
    std::shared_ptr<IRequest> SetZoneEffectByIndexAsync(std::uint8_t zoneIndex, std::uint8_t effectIndex,
                                                        const std::vector<Byte>& parameters) override;
    std::shared_ptr<IRequest> SetZoneEffectAsync(std::uint32_t zoneId, std::uint32_t effectId,
                                                 const std::vector<Byte>& parameters) override;
    bool SupportsExtendedFunctions() override;
    bool GetIndexedSetting(std::uint32_t key, std::uint8_t* value1, std::uint8_t* value2, std::uint8_t* value3,
                           std::uint8_t* head1, std::uint8_t* head2) override;
    bool SetIndexedSetting(std::uint32_t key, std::uint8_t value1, std::uint8_t value2, std::uint8_t value3) override;
    bool GetFourWords(std::uint8_t first, const std::uint8_t* second, std::uint32_t& word0, std::uint32_t& word1,
                      std::uint32_t& word2, std::uint32_t& word3) override;
    bool GetFlagPair(bool& flag1, bool& flag2) override;
    bool SetBytePair(std::uint8_t first, std::uint8_t second) override;
    bool GetZoneByteList(std::uint32_t zoneIndex, std::uint32_t& head, std::vector<Byte>& list) override;
    bool ZoneCommand(std::uint32_t zoneIndex) override;
    bool ByteCommand(std::uint8_t value) override;
    bool GetZoneTriple(std::uint32_t zoneIndex, std::uint32_t& a, std::uint32_t& b, std::uint32_t& c) override;
    bool SetZoneWord(std::uint32_t zoneIndex, std::uint32_t value) override;

    // Its own version as Root reports it, read on first call (255 until a read succeeds).
    std::uint32_t feature_version() override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;

private:
    bool load_table();
    // The table is loaded and holds the zone.
    bool zone_known(std::uint32_t zoneIndex);
    // Zone-addressed request of functions 9, 10, 12 and 13 behind the version and table checks.
    bool zone_request(std::uint32_t zoneIndex, std::uint32_t function, std::vector<Byte> params,
                      std::vector<Byte>* reply);

    ZoneTable m_table;
    OwnVersion m_version;
};

} // namespace devio
