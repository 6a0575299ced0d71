#pragma once
#include "features/IFeature6501Gestures.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace devio {

// Reads the fields of 0x6501's gesture reports: most significant bit first; bits past the end
// read as 0. Only the low 32 bits of a wider field are kept.
class GestureBitReader {
public:
    explicit GestureBitReader(const std::vector<Byte>& data) : m_data(data) {}
    explicit GestureBitReader(std::vector<Byte>&&) = delete; // reads the caller's bytes in place
    // count > 0: the next count bits (sign-extended when isSigned); count 0: a variable-length
    // value in 4-bit groups (zigzag-decoded when isSigned).
    std::uint32_t read(unsigned count, bool isSigned);

private:
    std::uint32_t bit();

    const std::vector<Byte>& m_data;
    std::size_t m_cursor = 0;
};

// What 0x6501 has learnt of its device's gesture table, and the pure decoding that depends on it.
// Not thread-safe: the feature guards it.
class Feature6501GestureTable {
public:
    using GestureRecord = IFeature6501Gestures::GestureRecord;

    // Interprets one reply of the table read. Returns 0, or the error code: 2 an empty reply
    // (or one starting with 0), 56 a reply ending inside an entry. Entries before a fault stay.
    std::uint32_t feed(const std::vector<Byte>& reply);
    // Report type of a gesture id (7 for ids the table of types does not hold).
    static std::uint32_t report_type(std::uint32_t gestureId);

    // One event a notification decodes to; `handler` is the slot of the handler.
    enum Handler {
        Gesture = 0,
        TriggerXY = 1,
        DxDy = 2,
        FingerStart = 3,
        FingerProgress = 4,
        Unknown = 5,
        Enabled = 6,
        Diverted = 7,
        ParamChange = 8,
    };
    struct Notice {
        Handler handler = Gesture;
        std::uint32_t first = 0;  // gesture index, or the software id of a response
        std::uint32_t second = 0; // gesture or parameter index of a response
        std::uint32_t id = 0;
        std::uint32_t type = 0;
        int values[5] = {0, 0, 0, 0, 0};
        bool flag = false;
        std::vector<Byte> data;
    };
    // Gesture notification: header byte (type, length) and data, sub-report after sub-report.
    std::vector<Notice> decode_gesture_reports(const std::vector<Byte>& payload) const;
    // One sub-report's data of event type `type`.
    void decode_gesture_report(std::uint32_t type, const std::vector<Byte>& data, std::vector<Notice>& out) const;
    // Responses: function 2 enable bitmap, 4 divert bitmap, 8 parameter values.
    std::vector<Notice> decode_response(unsigned function, unsigned softwareId, const std::vector<Byte>& payload) const;

    std::vector<std::uint16_t> raw;
    std::optional<GestureRecord> current;
    std::vector<GestureRecord> templates{GestureRecord{}};
    std::vector<GestureRecord> gestures;
    bool complete = false;
    std::vector<std::uint32_t> specLengths;
    std::vector<std::uint32_t> paramLengths;
    std::vector<std::uint32_t> enableMap;
    std::vector<std::uint32_t> divertMap;
    std::uint32_t indexWidth = 0;
    bool indexWidthLoaded = false;

private:
    void interpret(std::uint16_t entry);
    void add_gesture(std::uint16_t entry);
};

} // namespace devio
