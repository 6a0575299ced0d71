#pragma once
#include "features/Feature.h"
#include "features/IFeature0020ConfigChange.h"

namespace devio {

class Feature0020ConfigChange : public FeatureClass<Feature0020ConfigChange, IFeature0020ConfigChange>,
                                public Producer<IFeature0020ConfigChange::ConfigReport> {
public:
    using FeatureClass::FeatureClass;

    std::shared_ptr<IDataRequest<GetCookieResponse>> GetCookie() override;
    std::shared_ptr<IRequest> SetCompleteAsync(std::uint16_t cookie) override;
    bool GetCookie(std::uint16_t* cookie) override;
    bool SetComplete(std::uint16_t cookie) override;

protected:
    void on_unexpected_response(unsigned function, unsigned softwareId, const std::vector<Byte>& payload) override;
};

} // namespace devio
