// The device-model seam of simulated HID collections.
#pragma once

#include <cstdint>
#include <vector>

namespace platform::sim {

class HidCollection;

// Behaviour behind a HID collection. A model receives every output report written to the
// collection and answers with HidCollection::send_input_report, at any time and from any
// thread (the reports reach every open handle). A model serving several collections of one
// device attaches itself to each. Models are called without any platform lock held, from
// the writer's thread, possibly from several threads at once. Hold collections by weak or
// plain pointer: the collection owns its model.
class IHidDeviceModel {
public:
    virtual ~IHidDeviceModel() = default;

    // One output report as written: exactly the collection's output length, report id in byte 0.
    virtual void onOutputReport(HidCollection& collection, const std::vector<std::uint8_t>& report) = 0;

    // The collection became present (plugged) or absent (unplugged).
    virtual void onPresenceChanged(HidCollection& collection, bool present)
    {
        (void)collection;
        (void)present;
    }
};

// Sends every output report back as an input report (cut or zero-filled to the input length).
class EchoModel : public IHidDeviceModel {
public:
    void onOutputReport(HidCollection& collection, const std::vector<std::uint8_t>& report) override;
};

}  // namespace platform::sim
