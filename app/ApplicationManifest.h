// The program's application manifest (Quillon.manifest) as text: the stand-in's entry point
// declares it to the simulated loader, as Windows reads it from the executable's resources.
#pragma once

const char* applicationManifest();
