// The program's entry on the stand-in platform. Where Windows converts the command line before
// main, this loads the simulated machine's devices from the scenario named by $QUILLON_SCENARIO,
// plugs them and calls main. It first declares the program's manifest, which Windows' loader
// reads from the executable.
#include "ApplicationManifest.h"

#include <sim/Kernel.h>
#include <sim/Scenario.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>

int quillon_main(int argc, char** argv);

int main(int argc, char** argv)
{
    // Lives until the process ends; at quit nothing is destroyed.
    platform::sim::declare_manifest(applicationManifest());
    static std::optional<platform::sim::Scenario> scenario;
    const char* path = std::getenv("QUILLON_SCENARIO");
    if (path && *path) {
        try {
            scenario.emplace(platform::sim::Scenario::from_file(path));
            scenario->plug();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "Quillon: cannot load the scenario %s: %s\n", path, e.what());
            return 2;
        }
    }
    return quillon_main(argc, argv);
}
