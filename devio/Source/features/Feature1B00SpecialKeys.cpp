#include "features/Feature1B00SpecialKeys.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature1B00SpecialKeys::read_key_info(IFeature& feature, std::uint8_t index, std::uint32_t* keyId,
                                           std::uint32_t* secondId, std::uint8_t* keyFlags)
{
    std::vector<Byte> r;
    if (!read_reply(feature, 1, {index}, ReplyRule::strict(5), r, 1))
        return false;
    if (keyId)
        *keyId = read_be16(r, 0);
    if (secondId)
        *secondId = read_be16(r, 2);
    if (keyFlags)
        *keyFlags = r[4];
    return true;
}

std::vector<std::uint32_t> Feature1B00SpecialKeys::decode_keys(const std::vector<Byte>& payload)
{
    return {read_be16(payload, 0), read_be16(payload, 2), read_be16(payload, 4), read_be16(payload, 6)};
}

bool Feature1B00SpecialKeys::GetCount(std::uint32_t* count) { return shared_ops::get_count(*this, count, 1); }

bool Feature1B00SpecialKeys::GetKeyInfo(std::uint8_t index, std::uint32_t* keyId, std::uint32_t* secondId,
                                        std::uint8_t* keyFlags)
{
    return read_key_info(*this, index, keyId, secondId, keyFlags);
}

void Feature1B00SpecialKeys::on_notification(int /*function*/, const std::vector<Byte>& payload)
{
    if (payload.size() < 8)
        return;
    auto keys = decode_keys(payload);
    Producer<KeyReport>::notify([keys](KeyReport* s) { s->onKeyChange(keys); },
                                "Feature1B00SpecialKeys::KeyReport::onKeyChange");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature1B00SpecialKeys, 0x1B00)
