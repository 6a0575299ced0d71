// "paired.xml" through the pairing bus: each start enumerates the devices found live, loads the
// file, merges its entries with them and saves it. A load the file ends leaves the file as it was;
// otherwise the next start loads what was saved without complaint, remembers the same devices and
// saves the same file.
#include "devio/bluetooth/PairingFakes.h"

#include <sim/Kernel.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace bt_test;

constexpr char kDirectory[] = "C:\\Users\\User\\AppData\\Local\\Quillon\\";
constexpr char kFile[] = "C:\\Users\\User\\AppData\\Local\\Quillon\\paired.xml";
constexpr char kRadio[] = "\\\\?\\bthenum#radio1";

// One start of the program over the same Bluetooth stack and live devices.
struct Start {
    explicit Start(bool item3)
    {
        manager = std::make_shared<DeviceManager>(std::make_shared<NullFactory>());
        manager->set_run_loop(manager);
        manager->setConfig(ConfigItem(2), true);
        manager->setConfig(ConfigItem(3), item3);
        child->set_run_loop(manager);
        bt->set_run_loop(manager);
        child->bluetooth.push_back(bt);
        errors.Subscriber<IDeviceManager::UnreportedError>::subscribe(manager, 1, "");

        // The paths the stack knows: "lost" is no longer paired, "failing" cannot be asked.
        auto kb = bt->add("kb", "0000:00:000001", BluetoothClassic);
        kb->connected = true;
        kb->radio = kRadio;
        bt->radios.insert(kRadio);
        bt->add("classic", "0000:00:000002", BluetoothClassic);
        bt->add("le", "0000:00:000003", BluetoothLowEnergy);
        bt->add("gatt", "0000:00:000003", BluetoothLowEnergy);
        bt->add("lost", "0000:00:000004", BluetoothClassic)->paired = false;
        bt->add("failing", "0000:00:000005", BluetoothClassic)->verify_fails = true;
        // Found live: a keyboard without a name of its own, an LE device's collection and GATT
        // channel, a USB device.
        child->devices = {std::make_shared<FakeHw>("kb", 0xB001, TransportUsbHid),
                          std::make_shared<FakeHw>("le", 0xB010, TransportUsbHid, "LE"),
                          std::make_shared<FakeHw>("gatt", 0xB010, TransportGatt),
                          std::make_shared<FakeHw>("usb", 0xC52B, TransportUsbHid, "Wired")};
        bus = std::make_shared<PairingBus>(manager, child);
        bus->enumerate();
        bus->setDataDirectory(kDirectory);
        manager->process();
    }
    ~Start()
    {
        bus.reset();
        manager->process();
    }

    // What the bus reported about its file.
    bool load_ended() const
    {
        for (const auto& e : errors.errors)
            if (e.rfind("PairingBus::setDataDirectory|", 0) == 0 && e.find("control character") == std::string::npos &&
                e.find("stoul") == std::string::npos)  // those drop one entry; the load goes on
                return true;
        return false;
    }
    bool file_refused() const
    {
        for (const auto& e : errors.errors)
            if (e.rfind("PairingBus::", 0) == 0)
                return true;
        return false;
    }
    std::vector<std::string> remembered() const
    {
        std::vector<std::string> out;
        for (const auto& d : bus->remembered())
            out.push_back(d->getPath() + "|" + std::to_string(d->getProductId()) + "|" + d->getName() + "|" +
                          d->radio() + "|" + std::to_string(d->getTransportType()) + "|" +
                          std::to_string(d->low_energy_gatt()));
        return out;
    }

    std::shared_ptr<DeviceManager> manager;
    std::shared_ptr<FakeChildBus> child = std::make_shared<FakeChildBus>();
    std::shared_ptr<FakeBtBus> bt = std::make_shared<FakeBtBus>();
    std::shared_ptr<PairingBus> bus;
    ErrorLog errors;
};

std::string read_file()
{
    std::string text;
    if (!platform::sim::read_file(kFile, text))
        std::abort();
    return text;
}

void check(const std::string& input, bool item3)
{
    if (!platform::sim::write_file(kFile, input))
        std::abort();
    Start first(item3);
    const std::string saved = read_file();
    if (first.load_ended()) {
        if (saved != input)
            std::abort();  // a file the load refused is kept for the user, not overwritten
        return;
    }
    Start second(item3);
    if (second.file_refused() || read_file() != saved || second.remembered() != first.remembered())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    platform::sim::reset_machine();  // a root folder of this process's own, removed at exit
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    check(input, false);
    check(input, true);
    return 0;
}
