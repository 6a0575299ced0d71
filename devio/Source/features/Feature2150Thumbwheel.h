#pragma once
#include "features/Feature.h"
#include "features/IFeature2150Thumbwheel.h"

namespace devio {

class Feature2150Thumbwheel : public FeatureClass<Feature2150Thumbwheel, IFeature2150Thumbwheel>,
                              public Producer<IFeature2150Thumbwheel::Event> {
public:
    using FeatureClass::FeatureClass;

    bool GetThumbwheelInfo(unsigned short* info0, unsigned short* info2, bool* infoFlag4, bool* infoFlag50,
                           bool* infoFlag51, bool* infoFlag52, bool* infoFlag53, unsigned short* info6) override;
    bool GetThumbwheelStatus(std::uint8_t* reportingMode, bool* status0, bool* status1, bool* status2) override;
    bool SetThumbwheelReporting(std::uint8_t reportingMode, std::uint8_t second) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
    // A reporting change is re-read from the run loop: the reply it waits for comes on the
    // thread that delivered the change.
    void on_unexpected_response(unsigned function, unsigned softwareId, const std::vector<Byte>& payload) override;

private:
    void publish_reporting(unsigned softwareId);
};

} // namespace devio
