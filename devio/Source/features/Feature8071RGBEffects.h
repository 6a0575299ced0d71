#pragma once
#include "features/Feature.h"
#include "features/FeatureHelpers.h"
#include "features/IFeature8071RGBEffects.h"

namespace devio {

// Sends nothing when created: the zone table is loaded by the first operation that needs it.
class Feature8071RGBEffects : public FeatureClass<Feature8071RGBEffects, IFeature8071RGBEffects>,
                              public Producer<IFeature8071RGBEffects::Report> {
public:
    using FeatureClass::FeatureClass;

    bool GetInfo(std::uint32_t& zoneCount, std::uint32_t& infoWord1, std::uint32_t& infoWord2) override;
    bool GetZoneInfo(std::uint32_t zoneIndex, ZoneInfo& info) override;
    bool GetEffectInfo(std::uint8_t zoneIndex, std::uint8_t effectIndex, ZoneEffectInfo& info) override;
    bool GetEffectDetails(EffectDetails& details) override;
    bool SetEffectByIndex(std::uint8_t zoneIndex, std::uint8_t effectIndex,
                          const std::vector<Byte>& parameters) override;
    std::shared_ptr<IRequest> SetEffectByIndex_Async(std::uint8_t zoneIndex, std::uint8_t effectIndex,
                                                     const std::vector<Byte>& parameters) override;
    bool SetEffect(std::uint32_t zoneId, std::uint32_t effectId, const std::vector<Byte>& parameters) override;
    std::shared_ptr<IRequest> SetEffectAsync(std::uint32_t zoneId, std::uint32_t effectId,
                                             const std::vector<Byte>& parameters) override;
    bool GetIndexedSetting(std::uint32_t key, std::uint8_t* value1, std::uint8_t* value2,
                           std::uint8_t* value3) override;
    bool SetIndexedSetting(std::uint32_t key, std::uint8_t value1, std::uint8_t value2, std::uint8_t value3) override;
    bool GetSettingPair(std::uint32_t& a, std::uint32_t& b) override;
    bool SetSettingPair(std::uint8_t a, std::uint8_t b) override;
    bool GetFourWords(std::uint8_t first, const std::uint8_t* second, std::uint32_t& word0, std::uint32_t& word1,
                      std::uint32_t& word2, std::uint32_t& word3) override;
    bool SetBytePair(std::uint8_t a, std::uint8_t b) override;
    bool GetWordTriple(std::uint32_t& value, WordPair& pair) override;
    bool SetWordTriple(std::uint16_t value, WordPair pair) override;
    bool GetByteSetting(std::uint32_t& value) override;
    bool SetByteSetting(std::uint8_t value) override;
    bool SetZoneWord(std::uint32_t zoneIndex, std::uint32_t value) override;

    // Its own version as Root reports it, read on first call (255 until a read succeeds).
    std::uint32_t feature_version() override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;

private:
    bool load_table();
    // First zone with the identifier, first effect of it with the identifier.
    bool find(std::uint32_t zoneId, std::uint32_t effectId, std::uint8_t& zone, std::uint8_t& effect);

    ZoneTable m_table;
    OwnVersion m_version;
};

} // namespace devio
