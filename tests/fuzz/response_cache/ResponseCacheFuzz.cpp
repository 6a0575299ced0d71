// A response cache file in the data directory may be damaged or written by someone else: a fresh
// device loads whatever the file holds (or nothing) and writes its cache back, never crashing; and
// what the format prints from a file it read parses back to the same.
#include "devio/device/HostManager.h"

#include "device/CacheFile.h"
#include "device/Device.h"
#include "devices/SimHardwareDevice.h"
#include "devices/SimProtocolDevice.h"

#include <sim/Kernel.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

struct CacheRig {
    CacheRig()
    {
        platform::sim::reset_machine();  // a root folder of this process's own, removed at exit
        manager = devio::test::HostManager::create();
        auto model = std::make_shared<platform::sim::SimProtocolDevice>(platform::sim::sim_keyboard_config());
        hardware = platform::sim::SimHardwareDevice::create(model, std::weak_ptr<devio::IRunLoopManager>(manager), "abc");
    }
    ~CacheRig()
    {
        hardware.reset();
        manager->shutdown();
    }
    const std::string directory = "C:\\Users\\User\\AppData\\Local\\Cache\\";
    std::shared_ptr<devio::test::HostManager> manager;
    std::shared_ptr<platform::sim::SimHardwareDevice> hardware;
};

CacheRig& rig()
{
    static CacheRig instance;
    return instance;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CacheRig& r = rig();
    const std::string text(reinterpret_cast<const char*>(data), size);
    auto device = devio::Device::create(r.manager, r.hardware, r.manager->config());
    if (!platform::sim::write_file(r.directory + device->cache_file_name(), text))
        std::abort();
    device->set_cache_directory(r.directory);
    device->write_response_cache();
    device->load_response_cache();

    std::optional<devio::CacheFile> file;
    try {
        file = devio::parse_cache(text);
    } catch (const devio::CacheFileError&) {
        return 0;
    }
    if (!file)
        return 0;
    const auto printed = devio::print_cache(*file);
    if (!printed)
        return 0;  // a path that cannot be written back
    const auto again = devio::parse_cache(*printed);
    if (!again || again->firmware != file->firmware || again->path != file->path || again->replies != file->replies)
        std::abort();
    return 0;
}
