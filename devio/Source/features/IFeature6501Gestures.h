#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <vector>

namespace devio {

// Feature 0x6501: table-driven gestures. The device serves a table of 16-bit entries that
// declares its gestures, their enable and divert bits, described values and parameters.
class IFeature6501Gestures : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x6501;

    // A gesture id from the table; any 32-bit value the table builds.
    enum GestureId : std::uint32_t {};
    // The kind nibble of a gesture report, 0..15.
    enum EventType : std::uint32_t {};

    struct SpecEntry {
        std::uint32_t id = 0, length = 0, specIndex = 0;
    };
    struct ParamEntry {
        std::uint32_t id = 0, length = 0, paramIndex = 0;
        bool kind3 = false;
    };
    struct ExtraEntry {
        std::uint32_t tag = 0, value = 0;
    };
    // One gesture of the table (also a template of the table's template stack).
    struct GestureRecord {
        std::uint32_t prefix = 0;
        std::uint32_t secondPrefix = 0;
        std::uint32_t gestureId = 0;
        bool enableCapable = false;
        bool divertCapable = false;
        bool flag10 = false, flag11 = false, flag12 = false, flag13 = false;
        std::vector<SpecEntry> specs;
        std::vector<ParamEntry> params;
        std::vector<ExtraEntry> extras;
        std::uint32_t reportType = 7;
        std::uint32_t enableBit = 0;
        std::uint32_t divertBit = 0;
        std::vector<std::uint8_t> fieldWidths;
        bool prepared = false;
        std::uint32_t leadValue = 0;
    };

    class GestureReport {
    public:
        virtual void OnGesture(std::uint32_t /*gestureIndex*/, GestureId /*id*/, EventType /*type*/) {}
        virtual void OnGestureTriggerXY(std::uint32_t /*gestureIndex*/, GestureId /*id*/, EventType /*type*/,
                                        int /*x*/, int /*y*/)
        {
        }
        virtual void OnGestureDxDy(std::uint32_t /*gestureIndex*/, GestureId /*id*/, EventType /*type*/,
                                   int /*lead*/, int /*first*/, int /*second*/, int /*third*/, int /*fourth*/)
        {
        }
        virtual void OnGestureFingerStart(std::uint32_t /*gestureIndex*/, GestureId /*id*/, EventType /*type*/,
                                          int /*f0*/, int /*f1*/, int /*f2*/, int /*f3*/)
        {
        }
        virtual void OnGestureFingerProgress(std::uint32_t /*gestureIndex*/, GestureId /*id*/, EventType /*type*/,
                                             int /*lead*/, int /*f0*/, int /*f1*/, int /*f2*/, int /*f3*/)
        {
        }
        virtual void OnGestureUnknown(std::uint32_t /*gestureIndex*/, GestureId /*id*/, EventType /*type*/,
                                      std::vector<Byte> /*data*/)
        {
        }
        virtual void OnGestureEnabled(std::uint32_t /*softwareId*/, std::uint32_t /*gestureIndex*/, bool /*enabled*/) {}
        virtual void OnGestureDiverted(std::uint32_t /*softwareId*/, std::uint32_t /*gestureIndex*/,
                                       bool /*diverted*/)
        {
        }
        virtual void OnParamChange(std::uint32_t /*softwareId*/, std::uint32_t /*paramIndex*/,
                                   std::vector<Byte> /*value*/)
        {
        }
        virtual ~GestureReport() = default;
    };

    // batch 0: act on the device at once; otherwise a batch from BeginBatch.
    virtual bool GetTableEntry(std::uint32_t entryIndex, std::uint32_t* entry) = 0;
    virtual bool GetGesture(std::uint32_t index, GestureRecord* record) = 0;
    virtual bool GetGestureEnabled(std::uint32_t index, bool* enabled, std::uint32_t batch) = 0;
    virtual bool SetGestureEnabled(std::uint32_t index, bool value, std::uint32_t batch) = 0;
    virtual bool GetGestureDiverted(std::uint32_t index, bool* diverted, std::uint32_t batch) = 0;
    virtual bool SetGestureDiverted(std::uint32_t index, bool value, std::uint32_t batch) = 0;
    virtual bool GetSpecValue(std::uint32_t specIndex, std::vector<Byte>* value, std::uint32_t batch) = 0;
    virtual bool GetParamStaticValue(std::uint32_t paramIndex, std::vector<Byte>* value, std::uint32_t batch) = 0;
    virtual bool GetParamValue(std::uint32_t paramIndex, std::vector<Byte>* value, std::uint32_t batch) = 0;
    virtual bool SetParamValue(std::uint32_t paramIndex, std::vector<Byte> value, std::uint32_t batch) = 0;
    virtual std::uint32_t BeginBatch() = 0;
    virtual bool LoadGesturesEnabled(std::uint32_t batch, std::vector<std::uint32_t> indices) = 0;
    virtual bool LoadGesturesDiverted(std::uint32_t batch, std::vector<std::uint32_t> indices) = 0;
    virtual bool LoadParamValues(std::uint32_t batch, std::vector<std::uint32_t> indices) = 0;
    virtual bool LoadParamStaticValues(std::uint32_t batch, std::vector<std::uint32_t> indices) = 0;
    virtual bool LoadParamValuesAgain(std::uint32_t batch, std::vector<std::uint32_t> indices) = 0;
    virtual bool CommitBatch(std::uint32_t batch) = 0;
    ~IFeature6501Gestures() override = default;
};

} // namespace devio
