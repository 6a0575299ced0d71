#include "devices/SimReceiverScenario.h"

#include "devices/SimOta.h"

namespace platform::sim {

namespace {

constexpr std::uint16_t kDfuOverTheAir = 0x00C0;

SimReceiverVersion version_attribute(const ScenarioElement& e, const char* name, SimReceiverVersion fallback)
{
    if (!e.has(name))
        return fallback;
    if (!parse_receiver_version(e.text(name), fallback))
        e.fail(std::string("attribute \"") + name + "\": \"" + e.text(name) +
               "\" is not a version like 12.01.0010 (hexadecimal number.release.build)");
    return fallback;
}

}  // namespace

void set_paired_details(SimReceiver& receiver, int index, SimProtocolDevice& model)
{
    SimReceiver::PairedDetails details;
    details.deviceType = model.kind() == "mouse" ? 2 : 1;
    details.serial = model.ota().serial();
    receiver.set_paired_details(index, details);
}

void apply_receiver_attributes(const ScenarioElement& device, SimHidReceiver& receiver)
{
    SimReceiverFirmware firmware = receiver.firmware();
    SimBootloaderConfig config = receiver.bootloader() ? receiver.bootloader()->model().config()
                                                       : sim_bootloader_config(SimBootloaderFamily::None);
    const bool versionGiven = device.has("version");
    firmware.version = version_attribute(device, "version", firmware.version);
    if (versionGiven && !device.has("updated-version")) {
        firmware.updated = firmware.version;
        firmware.updated.release = static_cast<std::uint8_t>(firmware.version.release + 1);
        firmware.updated.build = static_cast<std::uint16_t>(firmware.version.build + 1);
    }
    firmware.updated = version_attribute(device, "updated-version", firmware.updated);

    SimBootloaderFamily family = firmware.family;
    if (device.has("bootloader-family") && !parse_family(device.text("bootloader-family"), family))
        device.fail("attribute \"bootloader-family\": \"" + device.text("bootloader-family") +
                    "\" is not pure-hid, wren-hid, fen-marl or none");
    std::uint16_t product = firmware.bootloaderProductId;
    if (device.has("bootloader-product")) {
        product = static_cast<std::uint16_t>(device.number("bootloader-product", 0, 0xFFFF));
        const SimBootloaderFamily of = bootloader_family_of(product);
        if (!device.has("bootloader-family"))
            family = of;
        else if (of != family)
            device.fail("attribute \"bootloader-product\" is not a bootloader of the family " +
                        std::string(family_name(family)));
    } else if (family != firmware.family) {
        product = first_bootloader_of(family);
    }
    firmware.family = family;
    firmware.bootloaderProductId = product;
    const SimBootloaderConfig defaults = sim_bootloader_config(family, product);
    config.family = family;
    config.productId = product;
    config.windowStart = static_cast<std::uint16_t>(device.number("window-start", defaults.windowStart, 0xFFFF));
    config.windowEnd = static_cast<std::uint16_t>(device.number("window-end", defaults.windowEnd, 0xFFFF));
    config.pageSize = static_cast<std::uint16_t>(device.number("page-size", defaults.pageSize, 0xFFFF));
    if (config.windowEnd < config.windowStart)
        device.fail("attribute \"window-end\" lies below \"window-start\"");
    config.signatureRequired = device.flag("signature-required", false);
    config.latency = std::chrono::microseconds(device.number("bootloader-latency-us", 0, 10000000));
    receiver.set_firmware(firmware, config);

    receiver.receiver().set_latency(std::chrono::microseconds(device.number("latency-us", 0, 10000000)));
    receiver.set_switch_delays(std::chrono::milliseconds(device.number("bootloader-delay-ms", 50, 600000)),
                               std::chrono::milliseconds(device.number("restart-delay-ms", 50, 600000)));

    const std::string mode = device.text("mode", "application");
    if (mode == "bootloader") {
        if (family == SimBootloaderFamily::None)
            device.fail("mode \"bootloader\" needs a bootloader family");
        receiver.start_in_bootloader();
    } else if (mode != "application") {
        device.fail("attribute \"mode\": \"" + mode + "\" is not application or bootloader");
    }

    SimHidBootloader* bootloader = receiver.bootloader();
    const bool faulty = device.has("bootloader-fault") || device.has("silent-version") || device.has("reject-signature");
    if (!bootloader) {
        if (faulty)
            device.fail("bootloader faults need a bootloader family");
        return;
    }
    if (device.has("bootloader-fault")) {
        const std::string action = device.text("bootloader-fault");
        SimBootloader::Fault fault;
        fault.action = action == "no-reply"     ? SimBootloader::FaultAction::NoReply
                     : action == "wrong-echo" ? SimBootloader::FaultAction::WrongEcho
                     : action == "unplug"     ? SimBootloader::FaultAction::Unplug
                                              : SimBootloader::FaultAction::None;
        if (fault.action == SimBootloader::FaultAction::None)
            device.fail("attribute \"bootloader-fault\": \"" + action + "\" is not no-reply, wrong-echo or unplug");
        fault.command = static_cast<std::uint8_t>(device.number("fault-command", 0, 0xFF));
        fault.occurrence = static_cast<unsigned>(device.number("fault-at", 1, 1000000));
        if (fault.occurrence == 0)
            device.fail("attribute \"fault-at\" counts from 1");
        bootloader->model().set_fault(fault);
    }
    bootloader->model().set_silent_version(device.flag("silent-version", false));
    bootloader->model().set_reject_signature(device.flag("reject-signature", false));
}

void apply_paired_config_attributes(const ScenarioElement& paired, SimProtocolConfig& config)
{
    if (!paired.flag("ota", false))
        return;
    // A device implements one of the switches: the over-the-air one takes the place of the others.
    auto& features = config.features;
    auto it = std::find_if(features.begin(), features.end(), [](const SimFeature& f) {
        return f.id == 0x00C1 || f.id == 0x00C2 || f.id == kDfuOverTheAir;
    });
    if (it != features.end())
        *it = SimFeature{kDfuOverTheAir, 0, 0};
    else
        features.push_back(SimFeature{kDfuOverTheAir, 0, 0});
}

void apply_paired_model_attributes(const ScenarioElement& paired, SimHidReceiver& receiver, int slot)
{
    SimProtocolDevice* model = receiver.paired(slot);
    if (!model)
        return;
    const std::string protocol = paired.text("protocol", "2.0");
    if (protocol == "1.0")
        model->set_protocol10(true);
    else if (protocol != "2.0")
        paired.fail("attribute \"protocol\": \"" + protocol + "\" is not 1.0 or 2.0");
    SimReceiver::PairedDetails details;
    details.deviceType = model->kind() == "mouse" ? 2 : 1;
    details.serial = model->ota().serial();
    details.slider = static_cast<std::uint8_t>(paired.number("slider", 0, 0x0F));
    details.protocol = static_cast<std::uint8_t>(paired.number("radio", 0x04, 0xFF));
    receiver.receiver().set_paired_details(slot, details);
    if (paired.has("ota-fault")) {
        const std::string name = paired.text("ota-fault");
        const SimOta::Fault fault = name == "restart"         ? SimOta::Fault::RestartRequest
                                  : name == "error"         ? SimOta::Fault::ErrorStatus
                                  : name == "link-loss"     ? SimOta::Fault::LinkLoss
                                  : name == "never-checked" ? SimOta::Fault::NeverChecked
                                                            : SimOta::Fault::None;
        if (fault == SimOta::Fault::None)
            paired.fail("attribute \"ota-fault\": \"" + name + "\" is not restart, error, link-loss or never-checked");
        const auto at = static_cast<unsigned>(paired.number("ota-fault-at", 1, 1000000));
        if (at == 0)
            paired.fail("attribute \"ota-fault-at\" counts from 1");
        model->ota().set_fault(fault, at);
    }
}

}  // namespace platform::sim
