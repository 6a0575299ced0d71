#include "features/FeatureHelpers.h"

#include "core/DataRequest.h"
#include "core/DeviceRequest.h"
#include "core/Request.h"
#include "device/IDevice.h"
#include "features/IFeature0000Root.h"

namespace devio {

std::uint16_t read_be16(const std::vector<Byte>& p, std::size_t at)
{
    return static_cast<std::uint16_t>((byte_at(p, at) << 8) | byte_at(p, at + 1));
}

std::uint32_t read_be32(const std::vector<Byte>& p, std::size_t at)
{
    return (std::uint32_t(byte_at(p, at)) << 24) | (std::uint32_t(byte_at(p, at + 1)) << 16) |
           (std::uint32_t(byte_at(p, at + 2)) << 8) | std::uint32_t(byte_at(p, at + 3));
}

std::uint16_t read_le16(const std::vector<Byte>& p, std::size_t at)
{
    return static_cast<std::uint16_t>(byte_at(p, at) | (byte_at(p, at + 1) << 8));
}

std::uint32_t read_le32(const std::vector<Byte>& p, std::size_t at)
{
    return std::uint32_t(byte_at(p, at)) | (std::uint32_t(byte_at(p, at + 1)) << 8) |
           (std::uint32_t(byte_at(p, at + 2)) << 16) | (std::uint32_t(byte_at(p, at + 3)) << 24);
}

std::int32_t sign_extend(std::uint32_t value, unsigned bits)
{
    if (bits == 0 || bits >= 32)
        return static_cast<std::int32_t>(value);
    const std::uint32_t mask = (std::uint32_t(1) << bits) - 1;
    const std::uint32_t sign = std::uint32_t(1) << (bits - 1);
    value &= mask;
    // (v ^ sign) - sign widens without shifting a negative value.
    return static_cast<std::int32_t>(static_cast<std::int64_t>(value ^ sign) - static_cast<std::int64_t>(sign));
}

void put_be16(std::vector<Byte>& out, std::uint32_t value)
{
    out.push_back(static_cast<Byte>(value >> 8));
    out.push_back(static_cast<Byte>(value));
}

void put_be32(std::vector<Byte>& out, std::uint32_t value)
{
    put_be16(out, value >> 16);
    put_be16(out, value);
}

void store_le32(std::vector<Byte>& out, std::size_t at, std::uint32_t value)
{
    if (out.size() < at + 4)
        out.resize(at + 4, 0);
    for (std::size_t k = 0; k < 4; ++k)
        out[at + k] = static_cast<Byte>(value >> (8 * k));
}

bool params_fit(const std::vector<Byte>& params, std::size_t limit)
{
    if (params.size() <= limit)
        return true;
    set_last_error(46, 0, nullptr);
    return false;
}

bool read_reply(IFeature& feature, std::uint32_t function, const std::vector<Byte>& params, const ReplyRule& rule,
                std::vector<Byte>& reply, std::uint32_t kind)
{
    if (!params_fit(params, rule.max_params))
        return false;
    std::vector<Byte> payload;
    if (!feature.execute(function, params, payload, kind))
        return false;
    if (rule.mode != ReplyRule::Short::Any && payload.size() < rule.minimum) {
        if (rule.mode != ReplyRule::Short::Quiet)
            set_last_error(2, 0, nullptr);
        return false;
    }
    if (rule.mode == ReplyRule::Short::Fit)
        payload.resize(rule.size, 0);
    reply = std::move(payload);
    return true;
}

bool write_request(IFeature& feature, std::uint32_t function, const std::vector<Byte>& params, std::uint32_t kind,
                   std::size_t maxParams)
{
    if (!params_fit(params, maxParams))
        return false;
    std::vector<Byte> payload;
    return feature.execute(function, params, payload, kind);
}

std::shared_ptr<IRequest> write_async(IFeature& feature, std::uint32_t function, const std::vector<Byte>& params,
                                      IFeature::MergeRule merge, const char* label)
{
    if (!params_fit(params))
        return nullptr;
    return chain_request(feature.execute_async(function, params, 0, std::move(merge), {}, 0), label);
}

bool write_and_forget(IFeature& feature, std::uint32_t function, const std::vector<Byte>& params,
                      IFeature::MergeRule merge)
{
    if (!params_fit(params))
        return false;
    feature.execute_async(function, params, 0, std::move(merge), {}, 0);
    return true;
}

IFeature::MergeRule first_byte_merge()
{
    return [](const std::vector<Byte>& queued, const std::vector<Byte>& next) {
        return !queued.empty() && !next.empty() && queued[0] == next[0];
    };
}

std::uint32_t OwnVersion::read(IFeature& feature)
{
    const std::uint32_t kept = stored();
    if (kept != kUnread)
        return kept;
    std::lock_guard<std::mutex> lock(m_read_mutex);
    {
        // A lookup queued by a notice answers for this caller too.
        std::unique_lock<std::mutex> state(m_state->mutex);
        m_state->idle.wait(state, [this] { return !m_state->in_flight; });
        if (stored() != kUnread)
            return stored();
        m_state->in_flight = true;
    }
    struct Finish {
        State& state;
        ~Finish() { state.finish(); }
    } finish{*m_state};
    auto device = feature.device();
    if (!device)
        return kUnread;
    auto root = getFeatureSync<IFeature0000Root>(device);
    if (!root)
        return kUnread;
    std::uint32_t version = 0;
    if (!root->GetFeature(feature.feature_id(), nullptr, nullptr, nullptr, nullptr, &version, 0))
        return kUnread;
    store(version);
    return stored();
}

void OwnVersion::State::finish()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        in_flight = false;
    }
    idle.notify_all();
}

void OwnVersion::store(std::uint32_t version)
{
    // Two readers store the same value; the first store stays.
    std::uint32_t expected = kUnread;
    m_state->version.compare_exchange_strong(expected, version);
}

void OwnVersion::read_async(IFeature& feature)
{
    if (stored() != kUnread)
        return;
    {
        // Never blocks on a lookup: one in flight (queued or blocking) answers for this notice.
        std::lock_guard<std::mutex> lock(m_state->mutex);
        if (m_state->in_flight || stored() != kUnread)
            return;
        m_state->in_flight = true;
    }
    std::shared_ptr<State> state = m_state;
    auto device = feature.device();
    auto lookup = device ? device->getFeature(IFeature0000Root::FeatureId) : nullptr;
    if (!lookup) {
        state->finish();
        return;
    }
    const std::uint32_t id = feature.feature_id();
    // The state is the owner: when the feature is gone, nothing runs.
    std::weak_ptr<void> owner = state;
    lookup->then(
        owner,
        [state, id, owner](std::shared_ptr<IFeature>* found) -> std::shared_ptr<IRequest> {
            auto root = found ? std::dynamic_pointer_cast<IFeature0000Root>(*found) : nullptr;
            auto asked = root ? root->GetFeature(id, 0) : nullptr;
            if (!asked) {
                state->finish();
                return make_immediate_failure_from_error();
            }
            return asked->then(
                owner,
                [state](IFeature0000Root::GetFeatureResponse* answer) -> std::shared_ptr<IRequest> {
                    if (answer) {
                        std::uint32_t expected = kUnread;
                        state->version.compare_exchange_strong(expected, answer->feature_version);
                    }
                    state->finish();
                    return answer ? make_immediate_success() : make_immediate_failure_from_error();
                },
                "saving own feature version");
        },
        "saving feature-by-id response");
}

namespace shared_ops {

namespace {
bool read_byte0(IFeature& f, std::uint32_t function, std::uint32_t kind, std::uint32_t& value)
{
    std::vector<Byte> reply;
    if (!read_reply(f, function, {}, ReplyRule::strict(1), reply, kind))
        return false;
    value = reply[0];
    return true;
}
} // namespace

bool call_function1(IFeature& f)
{
    std::vector<Byte> reply;
    return read_reply(f, 1, {}, ReplyRule::strict(1), reply);
}

bool get_led_count(IFeature& f, std::uint32_t& count) { return read_byte0(f, 0, 0, count); }

void reset_device(IFeature& f)
{
    std::vector<Byte> reply;
    f.execute(0, {}, reply, 0);
}

bool get_backlight_value(IFeature& f, std::uint16_t* value)
{
    std::uint32_t v = 0;
    if (!read_byte0(f, 0, 0, v))
        return false;
    if (value)
        *value = static_cast<std::uint16_t>(v);
    return true;
}

bool set_backlight_value(IFeature& f, std::uint8_t value) { return write_request(f, 1, {value}); }

bool get_count(IFeature& f, std::uint32_t* count, std::uint32_t kind)
{
    std::uint32_t v = 0;
    if (!read_byte0(f, 0, kind, v))
        return false;
    if (count)
        *count = v;
    return true;
}

bool get_enabled(IFeature& f, bool& enabled)
{
    std::uint32_t v = 0;
    if (!read_byte0(f, 0, 0, v))
        return false;
    enabled = v == 1;
    return true;
}

bool set_mode_byte(IFeature& f, std::uint8_t value) { return write_request(f, 2, {value}); }

bool get_sensor_count(IFeature& f, std::uint32_t& count) { return read_byte0(f, 0, 1, count); }

bool set_angle_snapping(IFeature& f, std::uint8_t value) { return write_request(f, 1, {value}); }

bool surface_tuning_command3(IFeature& f) { return write_request(f, 3, {}); }

bool set_three_words(IFeature& f, std::uint32_t a, std::uint32_t b, std::uint32_t c)
{
    std::vector<Byte> params;
    put_be16(params, a);
    put_be16(params, b);
    put_be16(params, c);
    return write_request(f, 6, params);
}

bool get_audio_info(IFeature& f, std::uint32_t& value) { return read_byte0(f, 0, 0, value); }

bool get_level_info(IFeature& f, std::uint8_t index, std::uint32_t& a, std::uint32_t& b)
{
    std::vector<Byte> reply;
    if (!read_reply(f, 1, {index}, ReplyRule::strict(1), reply))
        return false;
    a = byte_at(reply, 0);
    b = byte_at(reply, 1);
    return true;
}

bool get_level_entry(IFeature& f, std::uint8_t index, std::uint8_t entry, std::uint32_t& a, std::uint32_t& b,
                     std::uint32_t& c, std::uint32_t& d)
{
    std::vector<Byte> reply;
    if (!read_reply(f, 2, {index, entry}, ReplyRule::strict(1), reply))
        return false;
    a = byte_at(reply, 0);
    b = byte_at(reply, 1);
    c = byte_at(reply, 2);
    d = byte_at(reply, 3);
    return true;
}

bool set_level(IFeature& f, std::uint8_t first, std::uint8_t second, std::uint8_t third, std::uint32_t& a,
               std::uint32_t& b, std::uint32_t& c)
{
    std::vector<Byte> reply;
    if (!read_reply(f, 3, {first, second, third}, ReplyRule::strict(1), reply))
        return false;
    a = byte_at(reply, 0);
    b = byte_at(reply, 1);
    c = byte_at(reply, 2);
    return true;
}

bool decode_level_event(int function, const std::vector<Byte>& payload, int& count, bool& on, std::vector<int>& levels)
{
    if (payload.empty()) {
        set_last_error(2, 0, nullptr);
        return false;
    }
    if (function != 0)
        return false;
    count = payload[0];
    on = byte_at(payload, 1) == 1;
    levels.clear();
    for (std::size_t k = 2; k < payload.size(); ++k)
        levels.push_back(payload[k]);
    return true;
}

bool get_three_bytes(IFeature& f, std::uint32_t function, std::uint8_t* a, std::uint8_t* b, std::uint8_t* c)
{
    std::vector<Byte> r;
    if (!read_reply(f, function, {}, ReplyRule::strict(3), r))
        return false;
    if (a)
        *a = r[0];
    if (b)
        *b = r[1];
    if (c)
        *c = r[2];
    return true;
}

bool decode_backlight_event(int function, const std::vector<Byte>& payload, Byte& a, Byte& b, std::uint8_t& status)
{
    if (payload.size() < 3) {
        set_last_error(2, 0, nullptr);
        return false;
    }
    if (function != 0)
        return false;
    a = payload[0];
    b = payload[1];
    status = payload[2];
    return true;
}

bool get_gesture_flags(IFeature& f, int bits, bool* a, bool* b, bool* c, bool* d)
{
    std::vector<Byte> reply;
    if (!read_reply(f, 0, {0x00}, ReplyRule::strict(4), reply))
        return false;
    bool* groups[] = {a, b, c, d};
    for (int g = 0; g < 4; ++g)
        if (groups[g])
            for (int i = 0; i < bits; ++i)
                groups[g][i] = (reply[g] >> (bits - 1 - i)) & 1;
    return true;
}

bool set_gesture_flags(IFeature& f, int bits, const bool* flags)
{
    Byte value = 0;
    for (int i = 0; i < bits; ++i)
        if (flags[i])
            value = static_cast<Byte>(value | (1 << (bits - 1 - i)));
    std::vector<Byte> reply;
    return read_reply(f, 1, {value}, ReplyRule::strict(4), reply);
}

} // namespace shared_ops

} // namespace devio
