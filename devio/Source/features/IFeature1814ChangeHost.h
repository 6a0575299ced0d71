#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <memory>

namespace devio {

// Feature 0x1814: host status, switching host, configuration cookies.
class IFeature1814ChangeHost : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x1814;

    class CookieChange {
    public:
        // Never published by this feature.
        virtual void onHostChange(std::shared_ptr<IDevice> /*device*/) {}
        // Published after a successful SetCookie with its two values.
        virtual void onCookieChange(std::shared_ptr<IDevice> /*device*/, short /*a*/, short /*b*/) {}
        virtual ~CookieChange() = default;
    };

    ~IFeature1814ChangeHost() override = default;
    virtual bool GetHostStatus(std::uint16_t* a, std::uint16_t* b, std::uint16_t* c) = 0;
    // Without waiting the frame is only written: the device leaves this host.
    virtual bool SetCurrentHost(std::uint8_t host, bool waitForReply) = 0;
    // count: in, the room of buffer; out, the reply's length.
    virtual bool GetCookies(std::int16_t* count, std::uint16_t* buffer) = 0;
    virtual bool SetCookie(std::uint16_t a, std::uint16_t b) = 0;
};

} // namespace devio
