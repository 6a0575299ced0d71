#pragma once
#include "features/Feature.h"
#include "features/IFeature00c0DFUControl.h"

#include <mutex>
#include <set>

namespace devio {

class Feature00c0DFUControl : public FeatureClass<Feature00c0DFUControl, IFeature00c0DFUControl>,
                              public Producer<IFeature00c0DFUControl::ConfigReport> {
public:
    using FeatureClass::FeatureClass;

    bool SetDfuControl() override;

protected:
    void on_unexpected_response(unsigned function, unsigned softwareId, const std::vector<Byte>& payload) override;
    void on_subscribed(ConfigReport* subscriber, bool direct) override;
    void on_unsubscribed(ConfigReport* subscriber) override;

private:
    // Mirror of the producer's direct subscribers: only they hear of another program's reply.
    // m_direct_mutex guards the set alone and is never held while a handler runs, so storing a
    // subscriber (which the producer does under its own lock) never waits for a delivery.
    // m_delivery_mutex is held while handlers run; a leaving subscriber waits on it.
    std::mutex m_direct_mutex;
    std::set<ConfigReport*> m_direct;
    std::recursive_mutex m_delivery_mutex;
};

} // namespace devio
