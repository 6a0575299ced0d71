#pragma once
#include "features/Feature.h"
#include "features/IFeature6500Gestures.h"

#include <mutex>

namespace devio {

class Feature6500Gestures : public FeatureClass<Feature6500Gestures, IFeature6500Gestures>,
                            public Producer<IFeature6500Gestures::Report> {
public:
    using FeatureClass::FeatureClass;
    using GestureId = Report::GestureId;
    using EventType = Report::EventType;
    using Direction = Report::Direction;

    // What the decoder carries from one report to the next.
    struct GestureState {
        std::int32_t swipeDirection = 0;
        std::int32_t zoomStart = 0, zoomCurrent = 0;
        std::int32_t rotateStart = 0, rotateCurrent = 0;
    };
    // One event the walk found; `handler` is the event's slot (0 scroll .. 4 rotate).
    struct GestureEvent {
        int handler = 0;
        GestureId id = GestureId(0);
        EventType kind = EventType(0);
        int a = 0, b = 0, c = 0, d = 0;
        Direction direction = Direction::None;
        bool operator==(const GestureEvent& o) const
        {
            return handler == o.handler && id == o.id && kind == o.kind && a == o.a && b == o.b && c == o.c &&
                   d == o.d && direction == o.direction;
        }
    };
    enum Handler { ScrollEvent = 0, ZoomEvent = 1, TapEvent = 2, SwipeEvent = 3, RotateEvent = 4 };

    // Walks the packed sub-reports of one notification, updating `state`. A sub-report whose data
    // would run past the payload ends the walk; data shorter than its gesture reads reads as zeros.
    static std::vector<GestureEvent> decode_gestures(const std::vector<Byte>& payload, GestureState& state);

    bool GetCount(std::uint32_t* count) override;
    bool GetInfo(std::uint8_t index, int* first, int* second, std::uint32_t* third) override;
    bool GetValue(std::uint16_t id, std::uint16_t* value) override;
    bool SetValue(std::uint16_t id, std::uint8_t value) override;
    bool GetData(std::uint16_t id, std::uint16_t selector, std::vector<Byte>* data) override;
    bool PlaceholderOp5() override;
    bool PlaceholderOp6() override;
    void DecodeReport(std::uint32_t eventNumber, const std::vector<Byte>& payload) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;

private:
    void publish(const GestureEvent& e);

    std::mutex m_state_mutex; // the report thread and DecodeReport callers
    GestureState m_state;
};

} // namespace devio
