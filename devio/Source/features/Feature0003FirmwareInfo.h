#pragma once
#include "features/Feature.h"
#include "features/IFeature0003FirmwareInfo.h"

#include <functional>

namespace devio {

class Feature0003FirmwareInfo : public FeatureClass<Feature0003FirmwareInfo, IFeature0003FirmwareInfo> {
public:
    using FeatureClass::FeatureClass;

    bool GetEntityCount(std::uint32_t* entityCount, std::uint32_t* unitId, std::uint32_t* modelIdHigh,
                        std::uint32_t* modelId0, std::uint32_t* modelId1, std::uint32_t* modelId2,
                        std::uint32_t* extendedModelId, std::uint32_t flag) override;
    std::shared_ptr<IDataRequest<GetEntityCountResponse>> GetEntityCount(std::uint32_t flag) override;
    bool GetFwInfo(std::uint32_t entity, std::uint32_t* type, std::string* name, std::string* numberText,
                   std::string* buildText, std::uint32_t* flags, std::vector<Byte>* extra,
                   std::uint32_t flag) override;
    bool GetFwInfo(std::uint8_t entity, std::uint32_t* type, std::string* name, std::uint16_t* number,
                   std::uint16_t* build, std::uint32_t* flags, std::vector<Byte>* extra, std::uint32_t flag) override;
    std::shared_ptr<IDataRequest<GetFwInfoResponse>> GetFwInfo(std::uint32_t entity, std::uint32_t flag) override;
    std::string GetFwInfoString(std::uint32_t* featureIndex, std::uint32_t* featureVersion,
                                std::uint32_t* entity) override;
    std::shared_ptr<IDataRequest<GetFwInfoStringResponse>> GetFwInfoString() override;
    bool GetFwFormattedVersionByKind(std::uint32_t kind, std::string* text, std::uint16_t* build,
                                     std::uint16_t* number, std::uint32_t* flags) override;
    bool GetFwFormattedVersion(std::string* text) override;
    std::shared_ptr<IDataRequest<GetFwFormattedVersionResponse>> GetFwFormattedVersion() override;
    bool GetModelId(std::uint32_t* modelId) override;
    std::shared_ptr<IDataRequest<GetModelIdResponse>> GetModelId() override;
    bool GetExtendedModelId(std::uint32_t* extendedModelId, std::uint32_t flag) override;
    std::shared_ptr<IDataRequest<GetExtendedModelIdResponse>> GetExtendedModelId() override;
    bool GetFwInfoByType(std::uint32_t type, std::string* name, std::uint16_t* number, std::uint16_t* build,
                         std::uint32_t* flags, std::vector<Byte>* extra) override;

private:
    // Chain `next` on GetEntityCount (flag 1); a failed count fails the chain.
    template <class Result>
    std::shared_ptr<IDataRequest<Result>> after_entity_count(
        std::function<std::shared_ptr<IDataRequest<Result>>(Feature0003FirmwareInfo&, const GetEntityCountResponse&)>
            next);
    // modelIdHigh:modelId0, or the device's product id when the high half is 0 (28: device gone).
    bool model_id(std::uint32_t high, std::uint32_t low, std::uint32_t& modelId);
    // First entity accepted by `match` (given type and name), as a dotted version text.
    bool formatted_version(const std::function<bool(std::uint32_t, const std::string&)>& match, std::string* text,
                           std::uint16_t* build, std::uint16_t* number, std::uint32_t* flags);
};

} // namespace devio
