#pragma once
#include "features/Feature.h"
#include "features/IFeature0020ConfigChange.h"

namespace devio {

class Feature0020ConfigChange : public Feature,
                                public IFeature0020ConfigChange,
                                public Producer<IFeature0020ConfigChange::ConfigReport> {
public:
    Feature0020ConfigChange(std::uint8_t featureIndex, std::weak_ptr<IDevice> device);
    static std::shared_ptr<IFeature> create(std::uint8_t featureIndex, std::weak_ptr<IDevice> device);

    std::shared_ptr<IDataRequest<GetCookieResponse>> GetCookie() override;
    std::shared_ptr<IRequest> SetCompleteAsync(std::uint16_t cookie) override;
    bool GetCookie(std::uint16_t* cookie) override;
    bool SetComplete(std::uint16_t cookie) override;

protected:
    void on_unexpected_response(unsigned function, unsigned softwareId, const std::vector<Byte>& payload) override;
};

} // namespace devio
