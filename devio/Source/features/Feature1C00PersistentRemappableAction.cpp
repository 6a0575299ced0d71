#include "features/Feature1C00PersistentRemappableAction.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

namespace {
constexpr std::uint32_t kAllOnes = 0xFFFFFFFF;

std::vector<Byte> key_params(std::uint32_t keyId, std::initializer_list<Byte> rest)
{
    std::vector<Byte> p;
    put_be16(p, keyId);
    p.insert(p.end(), rest);
    return p;
}
} // namespace

bool Feature1C00PersistentRemappableAction::request(std::uint32_t function, const std::vector<Byte>& params,
                                                    std::size_t minimum, std::vector<Byte>& reply)
{
    reply.clear();
    if (!execute(function, params, reply, 0)) {
        set_last_error(1, 0, nullptr);
        return false;
    }
    if (reply.size() < minimum) {
        set_last_error(2, 0, nullptr);
        return false;
    }
    return true;
}

bool Feature1C00PersistentRemappableAction::GetValue(std::uint32_t& value)
{
    value = 0;
    std::vector<Byte> r;
    if (!request(0, {}, 2, r))
        return false;
    value = read_be16(r, 0);
    return true;
}

bool Feature1C00PersistentRemappableAction::GetBytePair(std::uint32_t& first, std::uint32_t& second)
{
    first = second = kAllOnes;
    std::vector<Byte> r;
    if (!request(1, {}, 2, r))
        return false;
    first = r[0];
    second = r[1];
    return true;
}

bool Feature1C00PersistentRemappableAction::GetValueFor(std::uint8_t a, std::uint8_t b, std::uint32_t& value)
{
    value = kAllOnes;
    std::vector<Byte> r;
    if (!request(2, {a, b}, 2, r))
        return false;
    value = read_be16(r, 0);
    return true;
}

bool Feature1C00PersistentRemappableAction::GetActions(std::uint32_t keyId, std::uint8_t b, ActionPair& actions)
{
    actions.first = actions.second = ActionRecord{kAllOnes, 0xFF, 0xFF};
    std::vector<Byte> r;
    if (!request(3, key_params(keyId, {b}), 8, r))
        return false;
    actions.first = {read_be16(r, 0), r[2], r[3]};
    actions.second = {read_be16(r, 4), r[6], r[7]};
    return true;
}

bool Feature1C00PersistentRemappableAction::SetAction(std::uint32_t keyId, std::uint8_t b, std::uint8_t c,
                                                      std::uint32_t id, std::uint8_t d)
{
    auto params = key_params(keyId, {b, c});
    put_be16(params, id);
    params.push_back(d);
    std::vector<Byte> r;
    return request(4, params, 0, r);
}

bool Feature1C00PersistentRemappableAction::CallFunction5(std::uint32_t keyId, std::uint8_t b)
{
    std::vector<Byte> r;
    return request(5, key_params(keyId, {b}), 0, r);
}

bool Feature1C00PersistentRemappableAction::CallFunction6(std::uint8_t a)
{
    std::vector<Byte> r;
    return request(6, {a}, 0, r);
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature1C00PersistentRemappableAction, 0x1C00)
