#include "features/Feature0001FeatureSet.h"

#include "features/FeatureDecoding.h"
#include "features/FeatureRegistry.h"

namespace devio {

std::shared_ptr<IDataRequest<IFeature0001FeatureSet::GetCountResponse>> Feature0001FeatureSet::GetCount()
{
    return decode_request<GetCountResponse>(
        execute_async(0, {}, 1, {}, {}, 0), 1,
        [](const std::vector<Byte>& p) {
            GetCountResponse r;
            r.count = p[0];
            return r;
        },
        "decoding Feature0001FeatureSet::GetCountResponse");
}

bool Feature0001FeatureSet::GetCount(std::uint32_t* count)
{
    GetCountResponse r;
    if (!GetCount()->get(r))
        return false;
    if (count)
        *count = r.count;
    return true;
}

std::shared_ptr<IDataRequest<IFeature0001FeatureSet::GetFeatureIdResponse>> Feature0001FeatureSet::GetFeatureId(
    std::uint32_t featureIndex)
{
    return decode_request<GetFeatureIdResponse>(
        execute_async(1, {Byte(featureIndex)}, 1, {}, {}, 0), 4,
        [](const std::vector<Byte>& p) {
            GetFeatureIdResponse r;
            r.feature_id = be16(p, 0);
            r.type_bit5 = (p[2] & 0x20) != 0;
            r.type_bit6 = (p[2] & 0x40) != 0;
            r.type_bit7 = (p[2] & 0x80) != 0;
            r.feature_version = p[3];
            return r;
        },
        "decoding Feature0001FeatureSet::GetFeatureIdResponse");
}

bool Feature0001FeatureSet::GetFeatureId(std::uint32_t featureIndex, std::uint32_t* featureId, bool* typeBit5,
                                         bool* typeBit6, bool* typeBit7, std::uint32_t* featureVersion)
{
    GetFeatureIdResponse r;
    if (!GetFeatureId(featureIndex)->get(r))
        return false;
    if (featureId)
        *featureId = r.feature_id;
    if (typeBit5)
        *typeBit5 = r.type_bit5;
    if (typeBit6)
        *typeBit6 = r.type_bit6;
    if (typeBit7)
        *typeBit7 = r.type_bit7;
    if (featureVersion)
        *featureVersion = r.feature_version;
    return true;
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature0001FeatureSet, 0x0001)
