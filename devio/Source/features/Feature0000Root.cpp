#include "features/Feature0000Root.h"

#include "features/FeatureDecoding.h"
#include "features/FeatureRegistry.h"

namespace devio {

std::shared_ptr<IDataRequest<IFeature0000Root::GetFeatureResponse>> Feature0000Root::GetFeature(
    std::uint32_t featureId, std::uint32_t kind)
{
    auto request = execute_async(0, {Byte(featureId >> 8), Byte(featureId)}, kind, {}, {}, 0);
    return decode_request<GetFeatureResponse>(
        request, 3,
        [](const std::vector<Byte>& p) {
            GetFeatureResponse r;
            r.feature_index = p[0];
            r.type_bit7 = (p[1] & 0x80) != 0;
            r.type_bit6 = (p[1] & 0x40) != 0;
            r.type_bit5 = (p[1] & 0x20) != 0;
            r.feature_version = p[2];
            return r;
        },
        "decoding IFeature0000Root::GetFeature");
}

bool Feature0000Root::GetFeature(std::uint32_t featureId, std::uint32_t* featureIndex, bool* typeBit7,
                                 bool* typeBit6, bool* typeBit5, std::uint32_t* featureVersion, std::uint32_t kind)
{
    GetFeatureResponse r;
    if (!GetFeature(featureId, kind)->get(r))
        return false;
    if (featureIndex)
        *featureIndex = r.feature_index;
    if (typeBit7)
        *typeBit7 = r.type_bit7;
    if (typeBit6)
        *typeBit6 = r.type_bit6;
    if (typeBit5)
        *typeBit5 = r.type_bit5;
    if (featureVersion)
        *featureVersion = r.feature_version;
    return true;
}

std::shared_ptr<IDataRequest<IFeature0000Root::TargetSwResponse>> Feature0000Root::TargetSw()
{
    auto request = execute_async(1, {0x00, 0x00, 0x00}, 1, {}, {}, 0);
    return decode_request<TargetSwResponse>(
        request, 2,
        [](const std::vector<Byte>& p) {
            TargetSwResponse r;
            r.protocol_major = p[0];
            r.protocol_minor = p[1];
            return r;
        },
        "decoding Feature0000Root::TargetSw");
}

bool Feature0000Root::TargetSw(std::uint8_t* protocolMajor, std::uint32_t* protocolMinor)
{
    TargetSwResponse r;
    if (!TargetSw()->get(r))
        return false;
    if (protocolMajor)
        *protocolMajor = r.protocol_major;
    if (protocolMinor)
        *protocolMinor = r.protocol_minor;
    return true;
}

bool Feature0000Root::Ping(std::uint8_t pingByte)
{
    std::vector<Byte> reply;
    if (!execute_compared(1, {0x00, 0x00, pingByte}, reply, 0, {2}))
        return false;
    if (reply.size() < 3) {
        set_last_error(2, 0, nullptr);
        return false;
    }
    if (reply[2] != pingByte) {
        set_last_error(78, 0, nullptr);
        return false;
    }
    return true;
}

std::shared_ptr<IRequest> Feature0000Root::PingAsync(std::uint8_t pingByte)
{
    // The compared position makes the queue accept only an echoing reply.
    return chain_request(execute_async(1, {0x00, 0x00, pingByte}, 0, {}, {2}, 0), "decoding Feature0000Root::Ping");
}

bool Feature0000Root::Ping(std::uint8_t pingByte, std::uint8_t* reply0, std::uint8_t* reply1, std::uint8_t* reply2)
{
    std::vector<Byte> reply;
    // Ping byte 0 is TargetSw's request, repeatable like it.
    if (!execute_payload(1, {0x00, 0x00, pingByte}, pingByte == 0 ? 1 : 0, 3, reply))
        return false;
    if (reply0)
        *reply0 = reply[0];
    if (reply1)
        *reply1 = reply[1];
    if (reply2)
        *reply2 = reply[2];
    return true;
}

std::shared_ptr<IDeviceRequest> Feature0000Root::PingRequest(std::uint8_t pingByte)
{
    // A newer ping replaces a queued one with the same low nibble.
    auto merge = [](const std::vector<Byte>& queued, const std::vector<Byte>& fresh) {
        return queued.size() >= 3 && fresh.size() >= 3 && (queued[2] & 0x0F) == (fresh[2] & 0x0F);
    };
    return execute_async(1, {0x00, 0x00, pingByte}, 0, merge, {}, 0);
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature0000Root, 0x0000)
