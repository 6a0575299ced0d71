#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <memory>

namespace devio {

class IRequest;
template <typename T> class IDataRequest;

// Feature 0x0020: the device's configuration cookie.
class IFeature0020ConfigChange : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x0020;

    struct GetCookieResponse {
        std::uint16_t cookie = 0;
    };
    // Another program's SetComplete reply (a function 1 reply answering no request of ours).
    class ConfigReport {
    public:
        virtual void onCookieSet(std::uint32_t /*softwareId*/, std::uint16_t /*cookie*/) {}
        virtual ~ConfigReport() = default;
    };

    ~IFeature0020ConfigChange() override = default;
    virtual std::shared_ptr<IDataRequest<GetCookieResponse>> GetCookie() = 0;
    // Asynchronous SetComplete (the blocking form has the same parameters).
    virtual std::shared_ptr<IRequest> SetCompleteAsync(std::uint16_t cookie) = 0;
    virtual bool GetCookie(std::uint16_t* cookie) = 0;
    virtual bool SetComplete(std::uint16_t cookie) = 0;
};

} // namespace devio
