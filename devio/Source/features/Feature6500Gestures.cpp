#include "features/Feature6500Gestures.h"

#include "core/ErrorRecord.h"
#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace devio {

namespace {
constexpr std::size_t kReportSize = 16;

bool is_swipe(std::uint16_t id) { return id == 0x7902 || id == 0x7903 || id == 0x7904 || id == 0x7A41; }
bool is_scroll(std::uint16_t id) { return id == 0x7801 || id == 0x7802; }
} // namespace

std::vector<Feature6500Gestures::GestureEvent> Feature6500Gestures::decode_gestures(const std::vector<Byte>& payload,
                                                                                    GestureState& state)
{
    std::vector<GestureEvent> events;
    if (payload.size() < 4)
        return events;
    std::size_t offset = 0;
    for (;;) {
        if (offset + 3 > payload.size())
            break;
        const std::uint16_t id = read_be16(payload, offset);
        const auto kind = static_cast<EventType>(payload[offset + 2] >> 4);
        const std::size_t n = payload[offset + 2] & 0x0F;
        if (offset + 3 + n > payload.size())
            break; // the record runs past the report
        // Data shorter than its gesture reads reads as zeros beyond its end.
        const std::vector<Byte> data(payload.begin() + static_cast<std::ptrdiff_t>(offset + 3),
                                     payload.begin() + static_cast<std::ptrdiff_t>(offset + 3 + n));

        GestureEvent e;
        e.id = static_cast<GestureId>(id);
        e.kind = kind;
        if (is_swipe(id) || is_scroll(id)) {
            if (kind != EventType::End) {
                e.a = sign16(read_be16(data, 0));
                e.b = sign16(read_be16(data, 2));
                e.c = byte_at(data, 4);
            }
            if (is_swipe(id)) {
                if (kind == EventType::Start) {
                    if (std::abs(e.a) >= std::abs(e.b)) {
                        std::printf(e.a < 0 ? "=> starting a left swipe\n" : "=> starting a right swipe\n");
                        state.swipeDirection = e.a < 0 ? Direction::Left : Direction::Right;
                    } else {
                        std::printf(e.b < 0 ? "=> starting a down swipe\n" : "=> starting an up swipe\n");
                        state.swipeDirection = e.b < 0 ? Direction::Down : Direction::Up;
                    }
                }
                e.handler = SwipeEvent;
                e.direction = static_cast<Direction>(state.swipeDirection);
            } else {
                e.handler = ScrollEvent;
            }
            events.push_back(e);
        } else if (id == 0x7B02 || id == 0x7C02) {
            const bool zoom = id == 0x7B02;
            std::int32_t& start = zoom ? state.zoomStart : state.rotateStart;
            std::int32_t& current = zoom ? state.zoomCurrent : state.rotateCurrent;
            const int v = sign16(read_be16(data, 0));
            if (kind == EventType::Start) {
                start = v;
                current = v;
            } else if (kind == EventType::Progress) {
                // A 32-bit sum that wraps instead of overflowing.
                current = static_cast<std::int32_t>(static_cast<std::uint32_t>(current) +
                                                    static_cast<std::uint32_t>(v));
            }
            e.handler = zoom ? ZoomEvent : RotateEvent;
            e.c = start;
            e.d = current;
            events.push_back(e);
        } else if (id == 0x7101) {
            e.handler = TapEvent;
            events.push_back(e);
        }

        const std::size_t next = offset + 3 + n;
        if (next >= kReportSize || next >= payload.size() || payload[next] == 0)
            break;
        std::printf("additional uncompressed packet coming up!\n");
        offset = next;
    }
    return events;
}

bool Feature6500Gestures::GetCount(std::uint32_t* count)
{
    if (!count) {
        set_last_error(46, 0, nullptr);
        return false;
    }
    std::vector<Byte> reply;
    if (!read_reply(*this, 0, {}, ReplyRule::strict(1), reply, 1))
        return false;
    *count = reply[0];
    return true;
}

bool Feature6500Gestures::GetInfo(std::uint8_t index, int* first, int* second, std::uint32_t* third)
{
    if (!first || !second || !third) {
        set_last_error(46, 0, nullptr);
        return false;
    }
    std::vector<Byte> reply;
    if (!read_reply(*this, 1, {index, 0x00}, ReplyRule::strict(5), reply, 1))
        return false;
    *first = sign16(read_be16(reply, 0));
    *second = sign16(read_be16(reply, 2));
    *third = reply[4];
    return true;
}

bool Feature6500Gestures::GetValue(std::uint16_t id, std::uint16_t* value)
{
    std::vector<Byte> reply;
    if (!read_reply(*this, 2, {Byte(id >> 8), Byte(id)}, ReplyRule::strict(3), reply))
        return false;
    if (value)
        *value = reply[2];
    return true;
}

bool Feature6500Gestures::SetValue(std::uint16_t id, std::uint8_t value)
{
    return write_request(*this, 3, {Byte(id >> 8), Byte(id), value});
}

bool Feature6500Gestures::GetData(std::uint16_t id, std::uint16_t selector, std::vector<Byte>* data)
{
    if (!data) {
        set_last_error(46, 0, nullptr);
        return false;
    }
    std::vector<Byte> reply;
    if (!read_reply(*this, 4, {Byte(id >> 8), Byte(id), Byte(selector >> 8), Byte(selector)}, ReplyRule::strict(4),
                    reply))
        return false;
    const std::size_t count = std::min(reply.size() - 4, data->size());
    std::copy(reply.begin() + 4, reply.begin() + 4 + static_cast<std::ptrdiff_t>(count), data->begin());
    return true;
}

bool Feature6500Gestures::PlaceholderOp5() { return true; }
bool Feature6500Gestures::PlaceholderOp6() { return true; }

void Feature6500Gestures::DecodeReport(std::uint32_t eventNumber, const std::vector<Byte>& payload)
{
    on_notification(static_cast<int>(eventNumber), payload);
}

void Feature6500Gestures::on_notification(int /*function*/, const std::vector<Byte>& payload)
{
    std::vector<GestureEvent> events;
    {
        std::lock_guard<std::mutex> lock(m_state_mutex);
        events = decode_gestures(payload, m_state);
    }
    for (const GestureEvent& e : events)
        publish(e);
}

void Feature6500Gestures::publish(const GestureEvent& e)
{
    switch (e.handler) {
    case ScrollEvent:
        Producer<Report>::notify([e](Report* s) { s->OnGestureScrollEvent(e.id, e.kind, e.a, e.b, e.c); },
                                 "Feature6500Gestures::Report::OnGestureScrollEvent");
        break;
    case ZoomEvent:
        Producer<Report>::notify([e](Report* s) { s->OnGestureZoomEvent(e.id, e.kind, 0, 0, e.c, e.d); },
                                 "Feature6500Gestures::Report::OnGestureZoomEvent");
        break;
    case TapEvent:
        Producer<Report>::notify([e](Report* s) { s->OnGestureTapEvent(e.id, e.kind); },
                                 "Feature6500Gestures::Report::OnGestureTapEvent");
        break;
    case SwipeEvent:
        Producer<Report>::notify(
            [e](Report* s) { s->OnGestureSwipeEvent(e.id, e.kind, e.a, e.b, e.c, e.direction); },
            "Feature6500Gestures::Report::OnGestureSwipeEvent");
        break;
    case RotateEvent:
        Producer<Report>::notify([e](Report* s) { s->OnGestureRotateEvent(e.id, e.kind, 0, 0, e.c, e.d); },
                                 "Feature6500Gestures::Report::OnGestureRotateEvent");
        break;
    default:
        break;
    }
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature6500Gestures, 0x6500)
