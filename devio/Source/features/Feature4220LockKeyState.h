#pragma once
#include "features/Feature.h"
#include "features/IFeature4220LockKeyState.h"

namespace devio {

class Feature4220LockKeyState : public FeatureClass<Feature4220LockKeyState, IFeature4220LockKeyState>,
                                public Producer<IFeature4220LockKeyState::Report> {
public:
    using FeatureClass::FeatureClass;

    bool GetLockKeyState(std::uint16_t* state) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
};

} // namespace devio
