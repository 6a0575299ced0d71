// A response cache file in the data directory may be damaged or written by someone else: a fresh
// device loads whatever the file holds (or nothing) and writes its cache back, never crashing.
#include "devio/device/HostManager.h"

#include "device/Device.h"
#include "devices/SimHardwareDevice.h"
#include "devices/SimProtocolDevice.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace {

struct CacheRig {
    CacheRig()
    {
        char name[] = "/tmp/quillon-fuzz-cache-XXXXXX";
        if (const char* made = mkdtemp(name))
            directory = std::string(made) + "/";
        manager = devio::test::HostManager::create();
        auto model = std::make_shared<platform::sim::SimProtocolDevice>(platform::sim::sim_keyboard_config());
        hardware = platform::sim::SimHardwareDevice::create(model, std::weak_ptr<devio::IRunLoopManager>(manager), "abc");
    }
    ~CacheRig()
    {
        hardware.reset();
        manager->shutdown();
        std::error_code ignored;
        if (!directory.empty())
            std::filesystem::remove_all(directory, ignored);
    }
    std::string directory;
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
    if (r.directory.empty())
        std::abort();
    auto device = devio::Device::create(r.manager, r.hardware, r.manager->config());
    {
        std::ofstream out(r.directory + device->cache_file_name(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    device->set_cache_directory(r.directory);
    device->write_response_cache();
    device->load_response_cache();
    return 0;
}
