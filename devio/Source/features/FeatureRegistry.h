#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

namespace devio {

class IDevice;
class IFeature;

// Every registered feature class's static create.
using FeatureCreator = std::shared_ptr<IFeature> (*)(std::uint8_t featureIndex, std::weak_ptr<IDevice> device);

// Process-wide map from feature id to creator. Every feature class registers itself with
// DEVIO_REGISTER_FEATURE in its own source file; the build collects those lines into one
// function that the registry's first lookup calls, so no registration is lost when the
// feature archive is linked statically.
class FeatureRegistry {
public:
    using Map = std::map<std::int32_t, FeatureCreator>;

    // The map itself. Hold mutex() while touching it from outside the registry.
    static Map& instance();
    static std::recursive_mutex& mutex();

    // Insert-if-absent: an id keeps its first creator. Returns true.
    static bool add(std::uint32_t featureId, FeatureCreator creator);
    // The id's class, or empty when it has none (the id is then kept with a null creator).
    static std::shared_ptr<IFeature> create(std::uint32_t featureId, std::uint8_t featureIndex,
                                            std::weak_ptr<IDevice> device);
    // Ids that have a creator, in numeric order (tests and diagnostics).
    static std::map<std::int32_t, FeatureCreator> registered();

    // Runs every registration once (generated from the DEVIO_REGISTER_FEATURE lines).
    static void ensure_registered();
};

// The feature for (id, index, device): the registered class, or a plain Feature. Never empty.
std::shared_ptr<IFeature> make_feature(std::uint32_t featureId, std::uint8_t featureIndex,
                                       std::weak_ptr<IDevice> device);

// Registration object of one class; its only effect is the insert.
template <class T>
struct FeatureRegistrar {
    explicit FeatureRegistrar(std::uint32_t featureId) { FeatureRegistry::add(featureId, &T::create); }
};

} // namespace devio

// In the class's own .cpp, at global scope: DEVIO_REGISTER_FEATURE(Feature0000Root, 0x0000)
// The line must start the line; the build scans for it.
#define DEVIO_REGISTER_FEATURE(Class, Id)                                                        \
    bool devio_feature_registration_##Class()                                                   \
    {                                                                                           \
        static const devio::FeatureRegistrar<devio::Class> registrar(Id);                       \
        return true;                                                                            \
    }                                                                                           \
    namespace {                                                                                 \
    [[maybe_unused]] const bool devio_feature_registered_##Class = devio_feature_registration_##Class(); \
    }
