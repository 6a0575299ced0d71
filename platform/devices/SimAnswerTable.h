#pragma once
// Answers of the simulated protocol 2.0 device for the features it has no model of: data, one
// row per (feature id, function), rather than code per feature. Rows are checked in order and
// the first match answers, so a device's own rows (from its scenario) go before the defaults.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace platform::sim {

using Bytes = std::vector<std::uint8_t>;

struct SimAnswer {
    enum class Kind {
        Fixed,  // `bytes`
        Echo,   // the request's parameters
        Stored, // the value kept under `slot` (until a Store row replaces it: `bytes`)
        Store,  // keeps the parameters from `skip` on under `slot`; answers the parameters
        Record, // records[first parameter byte]; a missing record answers error "out of range"
        Slice,  // the first `echo` parameters, then up to `length` bytes of a stream from the
                // offset in parameter `offset_at`; the stream is streams[first parameter byte]
                // when `keyed`, otherwise streams[0]
        Prefix, // prefixed[the longest key the parameters begin with]; none answers "out of range"
    };
    // The report an answer goes out in: a long one (a very long one for payloads over 16 bytes
    // when the device takes them), a short one (3 payload bytes) or always a very long one.
    enum class Length { Auto, Short, Long, VeryLong };

    std::uint16_t feature = 0;
    std::uint8_t function = 0;
    Kind kind = Kind::Fixed;
    Bytes bytes;
    std::uint8_t slot = 0;
    std::size_t skip = 0;
    std::map<std::uint8_t, Bytes> records; // Record: by key; Slice: the streams
    std::size_t offset_at = 0;
    std::size_t echo = 0;
    std::size_t length = 14;
    bool keyed = false;
    std::map<Bytes, Bytes> prefixed;
    Length reply_length = Length::Auto;

    static SimAnswer fixed(std::uint16_t feature, std::uint8_t function, Bytes bytes);
    static SimAnswer echoed(std::uint16_t feature, std::uint8_t function);
    static SimAnswer stored(std::uint16_t feature, std::uint8_t function, std::uint8_t slot, Bytes initial);
    static SimAnswer store(std::uint16_t feature, std::uint8_t function, std::uint8_t slot, std::size_t skip = 0);
    static SimAnswer record(std::uint16_t feature, std::uint8_t function, std::map<std::uint8_t, Bytes> records);
    static SimAnswer slice(std::uint16_t feature, std::uint8_t function, std::map<std::uint8_t, Bytes> streams,
                           std::size_t offsetAt, std::size_t echo, std::size_t length, bool keyed);
    static SimAnswer by_prefix(std::uint16_t feature, std::uint8_t function, std::map<Bytes, Bytes> records);
    // This row answered in reports of `length`.
    SimAnswer sized(Length length) const;
};

// One device's rows with the values its writes stored. Not synchronised: the device model
// calls it under its own lock.
class SimAnswerTable {
public:
    struct Result {
        bool error = false;      // answer with the protocol error `code`
        std::uint8_t code = 0;
        Bytes payload;
        SimAnswer::Length length = SimAnswer::Length::Auto;
    };

    explicit SimAnswerTable(std::vector<SimAnswer> answers);

    // The answer to a request of (feature, function) with these parameters; none without a row.
    std::optional<Result> answer(std::uint16_t feature, std::uint8_t function, const Bytes& params);
    // The value a Stored row of (feature, slot) answers now (empty when there is none).
    Bytes value(std::uint16_t feature, std::uint8_t slot) const;

private:
    std::vector<SimAnswer> m_answers;
    std::map<std::pair<std::uint16_t, std::uint8_t>, Bytes> m_values;
};

// The default rows of every modelled feature family. Each family's rows live in a file of
// its own, in a function opened by SIM_DEFAULT_ANSWERS(Family) at the start of a line; the
// build collects those functions (CollectAnswers.cmake), so adding a family touches no
// shared file.
std::vector<SimAnswer> sim_default_answers();

} // namespace platform::sim

#define SIM_DEFAULT_ANSWERS(Family) std::vector<platform::sim::SimAnswer> sim_default_answers_##Family()
