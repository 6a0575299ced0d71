#include "features/Feature0003FirmwareInfo.h"

#include "device/IDevice.h"
#include "features/FeatureDecoding.h"
#include "features/FeatureRegistry.h"

#include <algorithm>

namespace devio {

namespace {

std::string hex_width(std::uint32_t value, unsigned digits)
{
    static const char* const kDigits = "0123456789ABCDEF";
    std::string text(digits, '0');
    for (unsigned i = 0; i < digits; ++i)
        text[digits - 1 - i] = kDigits[(value >> (4 * i)) & 0xF];
    return text;
}

std::string entity_name(const std::vector<Byte>& p)
{
    std::string name;
    for (int i = 1; i <= 3; ++i)
        name.push_back(p[i] >= 0x20 && p[i] <= 0x7E ? static_cast<char>(p[i]) : ' ');
    return name;
}

IFeature0003FirmwareInfo::GetEntityCountResponse decode_entity_count(const std::vector<Byte>& p)
{
    IFeature0003FirmwareInfo::GetEntityCountResponse r;
    r.entityCount = p[0];
    r.unitId = be32(p, 1);
    r.modelIdHigh = be16(p, 5);
    r.modelId0 = be16(p, 7);
    r.modelId1 = be16(p, 9);
    r.modelId2 = be16(p, 11);
    r.extendedModelId = p[13];
    return r;
}

IFeature0003FirmwareInfo::GetFwInfoResponse decode_fw_info(const std::vector<Byte>& p)
{
    IFeature0003FirmwareInfo::GetFwInfoResponse r;
    r.type = p[0] & 0x0F;
    r.name = entity_name(p);
    r.number = hex_width(be16(p, 4), 4);
    r.build = hex_width(be16(p, 6), 4);
    r.flags = p[8];
    r.extra.assign(p.begin() + 9, p.begin() + 16);
    return r;
}

std::string info_text(std::uint32_t type, const std::string& name, const std::string& number,
                      const std::string& build, bool appendUnitId, std::uint32_t unitId)
{
    std::string text = std::to_string(type) + name + number + build;
    if (appendUnitId)
        text += hex_width(unitId, 8);
    return text;
}

// A value whose nibbles are all decimal digits stays; anything else becomes BCD of min(v, 9999).
std::uint16_t to_bcd(std::uint16_t v)
{
    bool decimal = true;
    for (int i = 0; i < 4; ++i)
        decimal = decimal && ((v >> (4 * i)) & 0xF) <= 9;
    if (decimal)
        return v;
    unsigned n = std::min<unsigned>(v, 9999);
    std::uint16_t bcd = 0;
    for (int i = 0; i < 4; ++i) {
        bcd |= static_cast<std::uint16_t>((n % 10) << (4 * i));
        n /= 10;
    }
    return bcd;
}

std::string dotted_version(const std::string& name, std::uint16_t number, std::uint16_t build)
{
    const std::string n = hex_width(to_bcd(number), 4);
    const std::string b = hex_width(to_bcd(build), 4);
    std::string major = n.substr(0, 2);
    const std::string minor = n.substr(2, 2);
    if (name.size() == 3 && name[0] == 'U' && name[2] == ' ' && name[1] >= '0' && name[1] <= '9')
        major = name.substr(1, 1) + major;
    return std::to_string(std::stoul(major)) + "." + std::to_string(std::stoul(minor)) + "." +
           std::to_string(std::stoul(b));
}

bool name_of_kind(std::uint32_t kind, const std::string& name)
{
    if (kind == 0)
        return name == "MPO" || name == "MPK" || name == "MPM";
    if (kind == 1)
        return name == "BOT" ||
               (name.size() == 3 && name[0] == 'B' && name[1] == 'L' && name[2] >= '1' && name[2] <= '9');
    return false;
}

} // namespace

bool IFeature0003FirmwareInfo::GetEntityCountResponse::get_count_and_unit_id(const std::vector<Byte>& reply,
                                                                            std::uint32_t* entityCount,
                                                                            std::uint32_t* unitId)
{
    if (reply.size() < 5) {
        set_last_error(2, 0, nullptr);
        return false;
    }
    if (entityCount)
        *entityCount = reply[0];
    if (unitId)
        *unitId = be32(reply, 1);
    return true;
}

std::string format_fw_version(const std::vector<Byte>& reply, bool requireActive, bool appendUnitId,
                              std::uint32_t unitId)
{
    if (reply.size() < 9) {
        set_last_error(2, 0, nullptr);
        return {};
    }
    if (requireActive && (reply[8] & 0x01) == 0) {
        set_last_error(79, 0, nullptr);
        return {};
    }
    return info_text(reply[0] & 0x0F, entity_name(reply), hex_width(be16(reply, 4), 4), hex_width(be16(reply, 6), 4),
                     appendUnitId, unitId);
}

template <class Result>
std::shared_ptr<IDataRequest<Result>> Feature0003FirmwareInfo::after_entity_count(
    std::function<std::shared_ptr<IDataRequest<Result>>(Feature0003FirmwareInfo&, const GetEntityCountResponse&)> next)
{
    // The chain holds the feature until it ends; throws bad_weak_ptr for a feature being destroyed.
    auto feature = std::static_pointer_cast<Feature0003FirmwareInfo>(self());
    return DataRequest<Result, IDataRequest<GetEntityCountResponse>, GetEntityCountResponse*>::create(
        GetEntityCount(1), std::weak_ptr<void>(feature),
        [feature, next = std::move(next)](GetEntityCountResponse* c) -> std::shared_ptr<IDataRequest<Result>> {
            if (!c)
                return make_data_failure_from_error<Result>();
            return next(*feature, *c);
        },
        "");
}

bool Feature0003FirmwareInfo::model_id(std::uint32_t high, std::uint32_t low, std::uint32_t& modelId)
{
    if (high != 0) {
        modelId = (high << 16) | low;
        return true;
    }
    // No model id of its own: the device's product id stands for it.
    auto dev = device();
    if (!dev)
        return false;
    modelId = dev->getProductId();
    return true;
}

bool Feature0003FirmwareInfo::GetEntityCount(std::uint32_t* entityCount, std::uint32_t* unitId,
                                             std::uint32_t* modelIdHigh, std::uint32_t* modelId0,
                                             std::uint32_t* modelId1, std::uint32_t* modelId2,
                                             std::uint32_t* extendedModelId, std::uint32_t flag)
{
    std::vector<Byte> reply;
    if (!execute_payload(0, {}, flag, 1, reply))
        return false;
    // A short reply reads as zeros beyond its end, as in the asynchronous form.
    const GetEntityCountResponse r = decode_entity_count(padded(reply, 16));
    if (entityCount)
        *entityCount = r.entityCount;
    if (unitId)
        *unitId = r.unitId;
    if (modelIdHigh)
        *modelIdHigh = r.modelIdHigh;
    if (modelId0)
        *modelId0 = r.modelId0;
    if (modelId1)
        *modelId1 = r.modelId1;
    if (modelId2)
        *modelId2 = r.modelId2;
    if (extendedModelId)
        *extendedModelId = r.extendedModelId;
    return true;
}

std::shared_ptr<IDataRequest<IFeature0003FirmwareInfo::GetEntityCountResponse>> Feature0003FirmwareInfo::
    GetEntityCount(std::uint32_t flag)
{
    return decode_request<GetEntityCountResponse>(execute_async(0, {}, flag, {}, {}, 0), 16, decode_entity_count,
                                                  "");
}

bool Feature0003FirmwareInfo::GetFwInfo(std::uint8_t entity, std::uint32_t* type, std::string* name,
                                        std::uint16_t* number, std::uint16_t* build, std::uint32_t* flags,
                                        std::vector<Byte>* extra, std::uint32_t flag)
{
    std::vector<Byte> reply;
    if (!execute_payload(1, {entity}, flag, 16, reply))
        return false;
    if (type)
        *type = reply[0] & 0x0F;
    if (name) {
        name->clear();
        *name = entity_name(reply);
    }
    if (number)
        *number = be16(reply, 4);
    if (build)
        *build = be16(reply, 6);
    if (flags)
        *flags = reply[8];
    if (extra)
        extra->assign(reply.begin() + 9, reply.begin() + 16);
    return true;
}

bool Feature0003FirmwareInfo::GetFwInfo(std::uint32_t entity, std::uint32_t* type, std::string* name,
                                        std::string* numberText, std::string* buildText, std::uint32_t* flags,
                                        std::vector<Byte>* extra, std::uint32_t flag)
{
    std::uint16_t number = 0;
    std::uint16_t build = 0;
    if (!GetFwInfo(static_cast<std::uint8_t>(entity), type, name, &number, &build, flags, extra, flag))
        return false;
    if (numberText)
        *numberText = hex_width(number, 4);
    if (buildText)
        *buildText = hex_width(build, 4);
    return true;
}

std::shared_ptr<IDataRequest<IFeature0003FirmwareInfo::GetFwInfoResponse>> Feature0003FirmwareInfo::GetFwInfo(
    std::uint32_t entity, std::uint32_t flag)
{
    return decode_request<GetFwInfoResponse>(execute_async(1, {Byte(entity)}, flag, {}, {}, 0), 16, decode_fw_info,
                                             "");
}

std::string Feature0003FirmwareInfo::GetFwInfoString(std::uint32_t* featureIndex, std::uint32_t* featureVersion,
                                                     std::uint32_t* entity)
{
    const std::uint32_t version = feature_version();
    if (featureIndex)
        *featureIndex = feature_index();
    if (featureVersion)
        *featureVersion = version;

    std::uint32_t type = 0;
    std::uint32_t flags = 0;
    std::string name, number, build;
    if (version == 0) {
        if (!GetFwInfo(std::uint32_t(0), &type, &name, &number, &build, &flags, nullptr, 1))
            return {};
        if (entity)
            *entity = 0;
        return info_text(type, name, number, build, false, 0);
    }
    std::uint32_t count = 0;
    std::uint32_t unitId = 0;
    if (!GetEntityCount(&count, &unitId, nullptr, nullptr, nullptr, nullptr, nullptr, 1))
        return {};
    for (std::uint32_t e = 0; e < count; ++e) {
        if (!GetFwInfo(e, &type, &name, &number, &build, &flags, nullptr, 1))
            continue;
        if (flags & 0x01) {
            if (entity)
                *entity = e;
            return info_text(type, name, number, build, true, unitId);
        }
    }
    if (!GetFwInfo(std::uint32_t(0), &type, &name, &number, &build, &flags, nullptr, 1))
        return {};
    if (entity)
        *entity = 0;
    return info_text(type, name, number, build, true, unitId);
}

std::shared_ptr<IDataRequest<IFeature0003FirmwareInfo::GetFwInfoStringResponse>> Feature0003FirmwareInfo::
    GetFwInfoString()
{
    using Result = GetFwInfoStringResponse;
    using Step = std::function<std::shared_ptr<IDataRequest<Result>>(GetFwInfoResponse*)>;
    const std::uint32_t index = feature_index();
    const std::uint32_t version = feature_version();

    if (version == 0) {
        auto feature = self();
        return DataRequest<Result, IDataRequest<GetFwInfoResponse>, GetFwInfoResponse*>::create(
            GetFwInfo(0, 1), std::weak_ptr<void>(feature),
            [feature, index, version](GetFwInfoResponse* r) -> std::shared_ptr<IDataRequest<Result>> {
                if (!r)
                    return make_data_failure_from_error<Result>();
                return make_data_success(Result{info_text(r->type, r->name, r->number, r->build, false, 0), index,
                                                version, 0});
            },
            "");
    }

    return after_entity_count<Result>([index, version](Feature0003FirmwareInfo& info, const GetEntityCountResponse& c) {
        std::shared_ptr<Feature> feature = info.self();
        std::int64_t count = c.entityCount;
        auto current = std::make_shared<std::int64_t>(-1);
        if (count < 2) {
            count = 1;
            *current = 0;
        }
        const std::uint32_t unitId = c.unitId;
        // Each pending step holds the function; it holds itself only weakly, so the chain frees
        // it, the counter and the feature with its last step.
        auto step = std::make_shared<Step>();
        std::weak_ptr<Step> weakStep = step;
        *step = [feature, index, version, unitId, count, current,
                 weakStep](GetFwInfoResponse* r) -> std::shared_ptr<IDataRequest<Result>> {
            if (!r)
                return make_data_failure_from_error<Result>();
            if (*current >= count || (r->flags & 0x01)) {
                const auto entity = static_cast<std::uint32_t>(*current % count);
                return make_data_success(
                    Result{info_text(r->type, r->name, r->number, r->build, true, unitId), index, version, entity});
            }
            ++*current;
            std::shared_ptr<Step> again = weakStep.lock();
            if (!again)
                return make_data_failure<Result>(1, nullptr, 0);
            auto& info = static_cast<Feature0003FirmwareInfo&>(*feature);
            return DataRequest<Result, IDataRequest<GetFwInfoResponse>, GetFwInfoResponse*>::create(
                info.GetFwInfo(static_cast<std::uint32_t>(*current % count), 1), std::weak_ptr<void>(feature),
                [again](GetFwInfoResponse* next) { return (*again)(next); },
                "recursive loop to get active fw entity info");
        };
        GetFwInfoResponse none;
        return (*step)(&none);
    });
}

bool Feature0003FirmwareInfo::formatted_version(const std::function<bool(std::uint32_t, const std::string&)>& match,
                                                std::string* text, std::uint16_t* build, std::uint16_t* number,
                                                std::uint32_t* flags)
{
    std::uint32_t count = 0;
    if (!GetEntityCount(&count, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 1) || count == 0)
        return false;
    for (std::uint32_t e = 0; e < count; ++e) {
        std::uint32_t type = 0;
        std::uint32_t entityFlags = 0;
        std::uint16_t n = 0;
        std::uint16_t b = 0;
        std::string name;
        if (!GetFwInfo(static_cast<std::uint8_t>(e), &type, &name, &n, &b, &entityFlags, nullptr, 1))
            return false;
        if (!match(type, name))
            continue;
        *text = dotted_version(name, n, b);
        if (build)
            *build = to_bcd(b);
        if (number)
            *number = to_bcd(n);
        if (flags)
            *flags = entityFlags;
        return true;
    }
    return false;
}

bool Feature0003FirmwareInfo::GetFwFormattedVersionByKind(std::uint32_t kind, std::string* text,
                                                          std::uint16_t* build, std::uint16_t* number,
                                                          std::uint32_t* flags)
{
    if (!text)
        return false;
    return formatted_version([kind](std::uint32_t, const std::string& name) { return name_of_kind(kind, name); },
                             text, build, number, flags);
}

bool Feature0003FirmwareInfo::GetFwFormattedVersion(std::string* text)
{
    if (!text)
        return false;
    return formatted_version([](std::uint32_t type, const std::string&) { return type == 0; }, text, nullptr,
                             nullptr, nullptr);
}

std::shared_ptr<IDataRequest<IFeature0003FirmwareInfo::GetFwFormattedVersionResponse>> Feature0003FirmwareInfo::
    GetFwFormattedVersion()
{
    using Result = GetFwFormattedVersionResponse;
    return after_entity_count<Result>([](Feature0003FirmwareInfo& feature, const GetEntityCountResponse& c) {
        // The entities are asked one by one with blocking requests, as in the blocking form.
        for (std::uint32_t e = 0; e < c.entityCount; ++e) {
            std::uint32_t type = 0;
            std::uint16_t n = 0;
            std::uint16_t b = 0;
            std::string name;
            if (!feature.GetFwInfo(static_cast<std::uint8_t>(e), &type, &name, &n, &b, nullptr, nullptr, 1))
                break;
            if (type == 0)
                return make_data_success(Result{dotted_version(name, n, b)});
        }
        return make_data_failure_from_error<Result>();
    });
}

bool Feature0003FirmwareInfo::GetModelId(std::uint32_t* modelId)
{
    std::uint32_t high = 0;
    std::uint32_t low = 0;
    if (!GetEntityCount(nullptr, nullptr, &high, &low, nullptr, nullptr, nullptr, 1))
        return false;
    return !modelId || model_id(high, low, *modelId);
}

std::shared_ptr<IDataRequest<IFeature0003FirmwareInfo::GetModelIdResponse>> Feature0003FirmwareInfo::GetModelId()
{
    using Result = GetModelIdResponse;
    return after_entity_count<Result>([](Feature0003FirmwareInfo& feature, const GetEntityCountResponse& c) {
        Result r;
        if (!feature.model_id(c.modelIdHigh, c.modelId0, r.modelId))
            return make_data_failure_from_error<Result>();
        return make_data_success(r);
    });
}

bool Feature0003FirmwareInfo::GetExtendedModelId(std::uint32_t* extendedModelId, std::uint32_t flag)
{
    return GetEntityCount(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, extendedModelId, flag);
}

std::shared_ptr<IDataRequest<IFeature0003FirmwareInfo::GetExtendedModelIdResponse>> Feature0003FirmwareInfo::
    GetExtendedModelId()
{
    using Result = GetExtendedModelIdResponse;
    return after_entity_count<Result>([](Feature0003FirmwareInfo&, const GetEntityCountResponse& c) {
        return make_data_success(Result{c.extendedModelId, 0});
    });
}

bool Feature0003FirmwareInfo::GetFwInfoByType(std::uint32_t type, std::string* name, std::uint16_t* number,
                                              std::uint16_t* build, std::uint32_t* flags, std::vector<Byte>* extra)
{
    std::uint32_t count = 0;
    if (!GetEntityCount(&count, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 1) || count == 0)
        return false;
    for (std::uint32_t e = 0; e < count; ++e) {
        std::uint32_t entityType = 0;
        if (!GetFwInfo(static_cast<std::uint8_t>(e), &entityType, name, number, build, flags, extra, 1))
            return false;
        if (entityType == type)
            return true;
    }
    return false;
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature0003FirmwareInfo, 0x0003)
