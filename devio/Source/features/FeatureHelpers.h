#pragma once
// What the feature families share: reads that never pass the end of a payload, the synchronous
// request with its policy for short replies, the list of setting writes kept for the next
// re-apply, the feature's own version through Root, and the operation bodies several features
// put on the wire unchanged.
#include "core/ErrorRecord.h"
#include "features/Feature.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace devio {

class IRequest;

// ---------------------------------------------------------------- bounds-checked readers
// Every reader gives 0 for bytes past the end of `p`, so a short payload decodes as zeros.

inline Byte byte_at(const std::vector<Byte>& p, std::size_t at) { return at < p.size() ? p[at] : 0; }
inline bool bit_at(const std::vector<Byte>& p, std::size_t at, unsigned bit) { return (byte_at(p, at) >> bit) & 1u; }
std::uint16_t read_be16(const std::vector<Byte>& p, std::size_t at);
std::uint32_t read_be32(const std::vector<Byte>& p, std::size_t at);
// The two little-endian layouts of the protocol: 16-bit tracking values and 32-bit property values.
std::uint16_t read_le16(const std::vector<Byte>& p, std::size_t at);
std::uint32_t read_le32(const std::vector<Byte>& p, std::size_t at);
// Two's-complement value of the low `bits` bits (1..32), widened with its sign.
std::int32_t sign_extend(std::uint32_t value, unsigned bits);
inline std::int32_t sign8(std::uint32_t value) { return sign_extend(value, 8); }
inline std::int32_t sign14(std::uint32_t value) { return sign_extend(value, 14); }
inline std::int32_t sign16(std::uint32_t value) { return sign_extend(value, 16); }

// Appends big-endian values to a parameter list.
void put_be16(std::vector<Byte>& out, std::uint32_t value);
void put_be32(std::vector<Byte>& out, std::uint32_t value);
// Writes 4 little-endian bytes at `at`, growing `out` when needed.
void store_le32(std::vector<Byte>& out, std::size_t at, std::uint32_t value);

// ---------------------------------------------------------------- requests

// Parameters a long report carries; more are refused with code 46 before anything is sent.
constexpr std::size_t kMaxParams = 16;
// False with code 46 when `params` has more than `limit` bytes.
bool params_fit(const std::vector<Byte>& params, std::size_t limit = kMaxParams);

// What a synchronous read does with a reply shorter than it needs.
struct ReplyRule {
    enum class Short {
        Strict, // code 2, outputs untouched
        Quiet,  // false, last error untouched
        Fit,    // Strict below the minimum; then cut or zero-filled to `size`
        Any,    // any reply is taken as it came
    };
    Short mode = Short::Strict;
    std::size_t minimum = 0;
    std::size_t size = 0;
    std::size_t max_params = kMaxParams;

    static ReplyRule strict(std::size_t minimum) { return {Short::Strict, minimum, 0, kMaxParams}; }
    static ReplyRule quiet(std::size_t minimum) { return {Short::Quiet, minimum, 0, kMaxParams}; }
    static ReplyRule fit(std::size_t minimum, std::size_t size) { return {Short::Fit, minimum, size, kMaxParams}; }
    static ReplyRule any() { return {Short::Any, 0, 0, kMaxParams}; }
    // For features whose reports carry 64 bytes: no 16-byte parameter limit.
    ReplyRule wide() const
    {
        ReplyRule r = *this;
        r.max_params = static_cast<std::size_t>(-1);
        return r;
    }
};

// One blocking request: refuses oversized parameters (46), sends with `kind`, and applies `rule`
// to the payload. `reply` is replaced only on success.
bool read_reply(IFeature& feature, std::uint32_t function, const std::vector<Byte>& params, const ReplyRule& rule,
                std::vector<Byte>& reply, std::uint32_t kind = 0);
// A blocking request whose reply is not examined.
bool write_request(IFeature& feature, std::uint32_t function, const std::vector<Byte>& params,
                   std::uint32_t kind = 0, std::size_t maxParams = kMaxParams);
// Queued request chained into a plain request named `label`; empty with 46 for oversized parameters.
std::shared_ptr<IRequest> write_async(IFeature& feature, std::uint32_t function, const std::vector<Byte>& params,
                                      IFeature::MergeRule merge, const char* label);
// Queued and dropped: the caller does not wait. False only for oversized parameters.
bool write_and_forget(IFeature& feature, std::uint32_t function, const std::vector<Byte>& params,
                      IFeature::MergeRule merge);

// Merge rule of writes addressed by their first parameter byte (an LED, a zone): a queued write
// for the same first byte is replaced by the new one; empty parameters never merge.
IFeature::MergeRule first_byte_merge();

// ---------------------------------------------------------------- deferred setting writes

// Setting writes a device could not take (code 5), kept for its next configuration change.
// Record: the write's arguments; `send` puts one record on the wire.
template <class Record>
class PendingSettings {
public:
    using Send = std::function<bool(const Record&)>;

    // Marks the configuration, then sends. A failure with code 5 keeps the record and has the
    // device re-apply the feature: the write counts as done (true, code 0) once that is accepted.
    bool write(Feature& feature, const Record& record, const Send& send)
    {
        if (feature.begin_setting_change() && send(record))
            return true;
        if (last_error().code != 5)
            return false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_records.push_back(record);
        }
        if (!feature.defer_setting_change())
            return false;
        set_last_error(0, 0, nullptr);
        return true;
    }

    // Sends the kept records oldest first. Any failure keeps them all (sent ones included) for the
    // next re-apply; success removes exactly the records sent, so writes kept meanwhile stay.
    bool reapply(Feature& feature, const Send& send)
    {
        const std::vector<Record> batch = records();
        for (const Record& record : batch) {
            if (!feature.begin_setting_change() || !send(record))
                return false;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        const std::size_t n = batch.size() < m_records.size() ? batch.size() : m_records.size();
        m_records.erase(m_records.begin(), m_records.begin() + static_cast<std::ptrdiff_t>(n));
        return true;
    }

    std::vector<Record> records() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_records;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<Record> m_records; // oldest first
};

// ---------------------------------------------------------------- own version

// The feature's version as its device's Root reports it, read on first use and then kept.
class OwnVersion {
public:
    static constexpr std::uint32_t kUnread = 255;
    // The kept version; otherwise asks Root (kUnread when that fails, to be tried again). One
    // caller asks at a time; the others wait for its answer.
    std::uint32_t read(IFeature& feature);
    // The kept version without asking.
    std::uint32_t stored() const { return m_state->version.load(); }
    // For the thread that delivers the device's reports, which must not block on a request: while
    // unread, starts one queued Root lookup (never two at once) that stores the version when it
    // answers. Holds neither the feature nor its device.
    void read_async(IFeature& feature);

private:
    struct State {
        std::atomic<std::uint32_t> version{kUnread};
        // One lookup at a time, queued or blocking: a blocking reader waits for a queued one
        // instead of asking again.
        std::mutex mutex;
        std::condition_variable idle;
        bool in_flight = false;
        void finish();
    };
    void store(std::uint32_t version);

    std::shared_ptr<State> m_state = std::make_shared<State>();
    std::mutex m_read_mutex;
};

// ---------------------------------------------------------------- shared operation bodies
// One routine per body that several features put on the wire unchanged; each feature keeps its
// own interface operation and calls these with itself.
namespace shared_ops {

// Function 1, no parameters; any non-empty reply (0x1001 CallFunction1).
bool call_function1(IFeature& f);
// Function 0, count = byte 0 (0x1300 GetLedCount).
bool get_led_count(IFeature& f, std::uint32_t& count);
// Function 0, waits for the outcome and ignores it (0x1802 ResetDevice).
void reset_device(IFeature& f);
// Function 0, value = byte 0; function 1 with the value (0x1981).
bool get_backlight_value(IFeature& f, std::uint16_t* value);
bool set_backlight_value(IFeature& f, std::uint8_t value);
// Function 0, count = byte 0 (0x1B00 GetCount with kind 1; 0x1F1F's with kind 0).
bool get_count(IFeature& f, std::uint32_t* count, std::uint32_t kind);
// Function 0, enabled = (byte 0 == 1) (0x1E00 GetEnabled).
bool get_enabled(IFeature& f, bool& enabled);
// Function 2 with one byte, reply not examined (0x1F20 SetModeByte).
bool set_mode_byte(IFeature& f, std::uint8_t value);
// Function 0 with kind 1, count = byte 0 (0x2201 GetSensorCount).
bool get_sensor_count(IFeature& f, std::uint32_t& count);
// Function 1 with one byte, reply not examined (0x2230 SetAngleSnapping).
bool set_angle_snapping(IFeature& f, std::uint8_t value);
// Function 3, no parameters, reply not examined (0x2240 SurfaceTuningCommand3).
bool surface_tuning_command3(IFeature& f);
// Function 6 with the low 16 bits of each value, big-endian (0x807A SetThreeWords).
bool set_three_words(IFeature& f, std::uint32_t a, std::uint32_t b, std::uint32_t c);
// Function 0, non-empty reply, value = byte 0 (0x8300 GetAudioInfo).
bool get_audio_info(IFeature& f, std::uint32_t& value);
// 0x8360 operations 2 to 4: a non-empty reply, bytes past its end read as 0.
bool get_level_info(IFeature& f, std::uint8_t index, std::uint32_t& a, std::uint32_t& b);
bool get_level_entry(IFeature& f, std::uint8_t index, std::uint8_t entry, std::uint32_t& a, std::uint32_t& b,
                     std::uint32_t& c, std::uint32_t& d);
bool set_level(IFeature& f, std::uint8_t first, std::uint8_t second, std::uint8_t third, std::uint32_t& a,
               std::uint32_t& b, std::uint32_t& c);
// 0x8360/0x8370 event 0: count, on (byte 1 == 1), then one level per byte. An empty payload sets
// code 2 (tested before the event number); false when there is nothing to deliver.
bool decode_level_event(int function, const std::vector<Byte>& payload, int& count, bool& on, std::vector<int>& levels);

// Function `function`, three bytes, each copied to its non-null output (0x1982 GetBacklightInfo,
// 0x1983 GetBacklightState).
bool get_three_bytes(IFeature& f, std::uint32_t function, std::uint8_t* a, std::uint8_t* b, std::uint8_t* c);
// 0x1982/0x1983 event 0: two bytes and a status. A payload under 3 bytes sets code 2 (tested
// before the event number); false when there is nothing to deliver.
bool decode_backlight_event(int function, const std::vector<Byte>& payload, Byte& a, Byte& b, std::uint8_t& status);

// 0x6010 (8 flags) and 0x6012 (4 flags): four groups of `bits` flags, most significant bit first,
// read with function 0; function 1 writes one group. Both need a 4-byte reply.
bool get_gesture_flags(IFeature& f, int bits, bool* a, bool* b, bool* c, bool* d);
bool set_gesture_flags(IFeature& f, int bits, const bool* flags);

} // namespace shared_ops

} // namespace devio
