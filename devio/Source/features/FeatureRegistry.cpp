#include "features/FeatureRegistry.h"

#include "features/Feature.h"

#include <mutex>

// Generated from the DEVIO_REGISTER_FEATURE lines of this folder: calls every registration,
// which also makes the linker keep every feature's object file.
void devio_register_all_features();

namespace devio {

FeatureRegistry::Map& FeatureRegistry::instance()
{
    static Map& map = *new Map;  // never destroyed: threads may still use it at exit
    return map;
}

std::recursive_mutex& FeatureRegistry::mutex()
{
    static std::recursive_mutex& registryMutex = *new std::recursive_mutex;
    return registryMutex;
}

bool FeatureRegistry::add(std::uint32_t featureId, FeatureCreator creator)
{
    std::lock_guard<std::recursive_mutex> lock(mutex());
    instance().emplace(static_cast<std::int32_t>(featureId), creator);
    return true;
}

void FeatureRegistry::ensure_registered()
{
    static const bool done = [] {
        devio_register_all_features();
        return true;
    }();
    (void)done;
}

std::shared_ptr<IFeature> FeatureRegistry::create(std::uint32_t featureId, std::uint8_t featureIndex,
                                                  std::weak_ptr<IDevice> device)
{
    ensure_registered();
    FeatureCreator creator = nullptr;
    {
        // Devices discover on several threads; an unknown id is kept with a null creator.
        std::lock_guard<std::recursive_mutex> lock(mutex());
        creator = instance()[static_cast<std::int32_t>(featureId)];
    }
    if (!creator)
        return {};
    return creator(featureIndex, std::move(device));
}

std::map<std::int32_t, FeatureCreator> FeatureRegistry::registered()
{
    ensure_registered();
    std::map<std::int32_t, FeatureCreator> result;
    std::lock_guard<std::recursive_mutex> lock(mutex());
    for (const auto& entry : instance())
        if (entry.second)
            result.insert(entry);
    return result;
}

std::shared_ptr<IFeature> make_feature(std::uint32_t featureId, std::uint8_t featureIndex,
                                       std::weak_ptr<IDevice> device)
{
    if (auto feature = FeatureRegistry::create(featureId, featureIndex, device))
        return feature;
    return std::make_shared<Feature>(featureId, featureIndex, std::move(device));
}

} // namespace devio
