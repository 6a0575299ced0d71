#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <vector>

namespace devio {

// Feature 0x6500: gestures a touch-capable device recognises, and per-gesture values.
class IFeature6500Gestures : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x6500;

    class Report {
    public:
        // The 16-bit gesture id of a sub-report; other values than these are carried as they come.
        enum GestureId : std::uint16_t {
            Tap = 0x7101,
            Scroll = 0x7801,
            ScrollAlt = 0x7802,
            Swipe = 0x7902,
            SwipeAlt = 0x7903,
            SwipeThird = 0x7904,
            SwipeFourth = 0x7A41,
            Zoom = 0x7B02,
            Rotate = 0x7C02,
        };
        // The kind nibble, 0..15.
        enum EventType : std::uint8_t {
            Kind0 = 0,
            Start = 1,
            Progress = 2,
            End = 3,
        };
        enum Direction : std::uint8_t { None = 0, Up = 1, Down = 2, Left = 3, Right = 4 };

        virtual void OnGestureScrollEvent(GestureId /*id*/, EventType /*kind*/, int /*x*/, int /*y*/, int /*extra*/) {}
        virtual void OnGestureZoomEvent(GestureId /*id*/, EventType /*kind*/, int /*first*/, int /*second*/,
                                        int /*start*/, int /*current*/)
        {
        }
        virtual void OnGestureTapEvent(GestureId /*id*/, EventType /*kind*/) {}
        virtual void OnGestureSwipeEvent(GestureId /*id*/, EventType /*kind*/, int /*dx*/, int /*dy*/, int /*extra*/,
                                         Direction /*direction*/)
        {
        }
        virtual void OnGestureRotateEvent(GestureId /*id*/, EventType /*kind*/, int /*first*/, int /*second*/,
                                          int /*start*/, int /*current*/)
        {
        }
        virtual ~Report() = default;
    };

    virtual bool GetCount(std::uint32_t* count) = 0;
    virtual bool GetInfo(std::uint8_t index, int* first, int* second, std::uint32_t* third) = 0;
    virtual bool GetValue(std::uint16_t id, std::uint16_t* value) = 0;
    virtual bool SetValue(std::uint16_t id, std::uint8_t value) = 0;
    // Overwrites at most data->size() leading bytes; the vector keeps its size.
    virtual bool GetData(std::uint16_t id, std::uint16_t selector, std::vector<Byte>* data) = 0;
    virtual bool PlaceholderOp5() = 0;
    virtual bool PlaceholderOp6() = 0;
    // Decodes `payload` as a gesture notification.
    virtual void DecodeReport(std::uint32_t eventNumber, const std::vector<Byte>& payload) = 0;
    ~IFeature6500Gestures() override = default;
};

} // namespace devio
