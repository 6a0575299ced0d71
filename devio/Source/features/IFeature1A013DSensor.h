#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x1A01: an 11-byte three-axis sensor configuration, a setting and a status byte,
// raw three-axis samples and a second three-value notification.
class IFeature1A013DSensor : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x1A01;

    class RawXYZReport {
    public:
        virtual void onRawXYZReport(short, short, short) {}
        virtual ~RawXYZReport() = default;
    };
    class Notif1Report {
    public:
        virtual void onNotif1(short, short, short) {}
        virtual ~Notif1Report() = default;
    };
    // No event of the device reaches it.
    class Notif2Report {
    public:
        virtual void onNotif2(short, short, short) {}
        virtual ~Notif2Report() = default;
    };

    ~IFeature1A013DSensor() override = default;
    // Needs a 12-byte reply (only a long report has one).
    virtual bool Set3DSensorConfiguration(std::uint8_t selector, std::uint8_t sensor0, short sensor1,
                                          std::uint8_t sensor3, std::uint8_t sensor4, unsigned short sensor5,
                                          unsigned short sensor7, unsigned short sensor9) = 0;
    virtual bool Get3DSensorConfiguration(std::uint8_t* sensor0, unsigned short* sensor1, std::uint8_t* sensor3,
                                          std::uint8_t* sensor4, unsigned short* sensor5, unsigned short* sensor7,
                                          unsigned short* sensor9) = 0;
    virtual bool Get3DSensorSetting(std::uint8_t* value) = 0;
    virtual bool Set3DSensorSetting(std::uint8_t value) = 0;
    virtual bool Get3DSensorStatus(std::uint8_t* value) = 0;
};

} // namespace devio
