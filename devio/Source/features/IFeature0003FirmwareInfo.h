#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace devio {

template <typename T> class IDataRequest;

// Feature 0x0003: firmware entities, the firmware text, dotted versions and model ids.
// `flag` is the execution kind handed to the device (1 = repeatable, cacheable).
class IFeature0003FirmwareInfo : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x0003;

    struct GetEntityCountResponse {
        std::uint32_t entityCount = 0;
        std::uint32_t unitId = 0;
        std::uint32_t modelIdHigh = 0;
        std::uint32_t modelId0 = 0;
        std::uint32_t modelId1 = 0;
        std::uint32_t modelId2 = 0;
        std::uint32_t extendedModelId = 0;

        // From a stored function 0 reply payload of at least 5 bytes; false when shorter.
        static bool get_count_and_unit_id(const std::vector<Byte>& reply, std::uint32_t* entityCount,
                                          std::uint32_t* unitId);
    };
    struct GetFwInfoResponse {
        std::uint32_t type = 0;
        std::string name;
        std::string number;
        std::string build;
        std::uint32_t flags = 0;
        std::vector<Byte> extra;
    };
    struct GetFwInfoStringResponse {
        std::string text;
        std::uint32_t featureIndex = 0;
        std::uint32_t featureVersion = 0;
        std::uint32_t entity = 0;
    };
    struct GetFwFormattedVersionResponse {
        std::string text;
    };
    struct GetModelIdResponse {
        std::uint32_t modelId = 0;
        std::uint32_t reserved = 0;
    };
    struct GetExtendedModelIdResponse {
        std::uint32_t extendedModelId = 0;
        std::uint8_t reserved = 0;
    };

    ~IFeature0003FirmwareInfo() override = default;
    virtual bool GetEntityCount(std::uint32_t* entityCount, std::uint32_t* unitId, std::uint32_t* modelIdHigh,
                                std::uint32_t* modelId0, std::uint32_t* modelId1, std::uint32_t* modelId2,
                                std::uint32_t* extendedModelId, std::uint32_t flag) = 0;
    virtual std::shared_ptr<IDataRequest<GetEntityCountResponse>> GetEntityCount(std::uint32_t flag) = 0;
    // Text form: number and build as 4 upper-case hex digits.
    virtual bool GetFwInfo(std::uint32_t entity, std::uint32_t* type, std::string* name, std::string* numberText,
                           std::string* buildText, std::uint32_t* flags, std::vector<Byte>* extra,
                           std::uint32_t flag) = 0;
    // Numeric form.
    virtual bool GetFwInfo(std::uint8_t entity, std::uint32_t* type, std::string* name, std::uint16_t* number,
                           std::uint16_t* build, std::uint32_t* flags, std::vector<Byte>* extra,
                           std::uint32_t flag) = 0;
    virtual std::shared_ptr<IDataRequest<GetFwInfoResponse>> GetFwInfo(std::uint32_t entity, std::uint32_t flag) = 0;
    virtual std::string GetFwInfoString(std::uint32_t* featureIndex, std::uint32_t* featureVersion,
                                        std::uint32_t* entity) = 0;
    virtual std::shared_ptr<IDataRequest<GetFwInfoStringResponse>> GetFwInfoString() = 0;
    virtual bool GetFwFormattedVersionByKind(std::uint32_t kind, std::string* text, std::uint16_t* build,
                                             std::uint16_t* number, std::uint32_t* flags) = 0;
    virtual bool GetFwFormattedVersion(std::string* text) = 0;
    virtual std::shared_ptr<IDataRequest<GetFwFormattedVersionResponse>> GetFwFormattedVersion() = 0;
    virtual bool GetModelId(std::uint32_t* modelId) = 0;
    virtual std::shared_ptr<IDataRequest<GetModelIdResponse>> GetModelId() = 0;
    virtual bool GetExtendedModelId(std::uint32_t* extendedModelId, std::uint32_t flag) = 0;
    virtual std::shared_ptr<IDataRequest<GetExtendedModelIdResponse>> GetExtendedModelId() = 0;
    virtual bool GetFwInfoByType(std::uint32_t type, std::string* name, std::uint16_t* number, std::uint16_t* build,
                                 std::uint32_t* flags, std::vector<Byte>* extra) = 0;
};

// Firmware information text of a stored function 1 reply payload (at least 9 bytes): decimal type,
// three name characters, number and build as 4 hex digits, optionally the unit id as 8 hex digits.
// requireActive and the entity not active: last error 79, empty text.
std::string format_fw_version(const std::vector<Byte>& reply, bool requireActive, bool appendUnitId,
                              std::uint32_t unitId);

} // namespace devio
