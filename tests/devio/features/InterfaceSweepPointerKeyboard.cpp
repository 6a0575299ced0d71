// The pointer, keyboard and gesture features and their interfaces (0x4522's is IFeature4522DKU).
#include "InterfaceSweep.h"

#include "features/IFeature2005ButtonSwapCancel.h"
#include "features/IFeature2006PointerAxesOrientation.h"
#include "features/IFeature2110Sprocklin.h"
#include "features/IFeature2111SprocklinWithTunableTorque.h"
#include "features/IFeature2121HiResWheel.h"
#include "features/IFeature2130RatchetWheel.h"
#include "features/IFeature2150Thumbwheel.h"
#include "features/IFeature2201AdjustableDPI.h"
#include "features/IFeature2205PointerMotionScaling.h"
#include "features/IFeature2230AngleSnapping.h"
#include "features/IFeature2240SurfaceTuning.h"
#include "features/IFeature2250ActivityTracking.h"
#include "features/IFeature2400HybridTracking.h"
#include "features/IFeature40A0FnInversion.h"
#include "features/IFeature40A2FnInversion.h"
#include "features/IFeature40A3FnInversion.h"
#include "features/IFeature4220LockKeyState.h"
#include "features/IFeature4521DisableKeys.h"
#include "features/IFeature4522DKU.h"
#include "features/IFeature4530DualPlatform.h"
#include "features/IFeature4531MultiPlatform.h"
#include "features/IFeature4540KBLayout.h"
#include "features/IFeature4600Crown.h"
#include "features/IFeature6010Gestures.h"
#include "features/IFeature6012Gestures.h"
#include "features/IFeature6100TouchPadRawXY.h"
#include "features/IFeature6500Gestures.h"
#include "features/IFeature6501Gestures.h"
#include "features/IFeature9001TestPMW3816.h"

namespace devio::test {
namespace {

const InterfaceRows rows9({
    interface_row<IFeature2005ButtonSwapCancel>("IFeature2005ButtonSwapCancel"),
    interface_row<IFeature2006PointerAxesOrientation>("IFeature2006PointerAxesOrientation"),
    interface_row<IFeature2110Sprocklin>("IFeature2110Sprocklin"),
    interface_row<IFeature2111SprocklinWithTunableTorque>("IFeature2111SprocklinWithTunableTorque"),
    interface_row<IFeature2121HiResWheel>("IFeature2121HiResWheel"),
    interface_row<IFeature2130RatchetWheel>("IFeature2130RatchetWheel"),
    interface_row<IFeature2150Thumbwheel>("IFeature2150Thumbwheel"),
    interface_row<IFeature2201AdjustableDPI>("IFeature2201AdjustableDPI"),
    interface_row<IFeature2205PointerMotionScaling>("IFeature2205PointerMotionScaling"),
    interface_row<IFeature2230AngleSnapping>("IFeature2230AngleSnapping"),
    interface_row<IFeature2240SurfaceTuning>("IFeature2240SurfaceTuning"),
    interface_row<IFeature2250ActivityTracking>("IFeature2250ActivityTracking"),
    interface_row<IFeature2400HybridTracking>("IFeature2400HybridTracking"),
    interface_row<IFeature40A0FnInversion>("IFeature40A0FnInversion"),
    interface_row<IFeature40A2FnInversion>("IFeature40A2FnInversion"),
    interface_row<IFeature40A3FnInversion>("IFeature40A3FnInversion"),
    interface_row<IFeature4220LockKeyState>("IFeature4220LockKeyState"),
    interface_row<IFeature4521DisableKeys>("IFeature4521DisableKeys"),
    interface_row<IFeature4522DKU>("IFeature4522DKU"),
    interface_row<IFeature4530DualPlatform>("IFeature4530DualPlatform"),
    interface_row<IFeature4531MultiPlatform>("IFeature4531MultiPlatform"),
    interface_row<IFeature4540KBLayout>("IFeature4540KBLayout"),
    interface_row<IFeature4600Crown>("IFeature4600Crown"),
    interface_row<IFeature6010Gestures>("IFeature6010Gestures"),
    interface_row<IFeature6012Gestures>("IFeature6012Gestures"),
    interface_row<IFeature6100TouchPadRawXY>("IFeature6100TouchPadRawXY"),
    interface_row<IFeature6500Gestures>("IFeature6500Gestures"),
    interface_row<IFeature6501Gestures>("IFeature6501Gestures"),
    interface_row<IFeature9001TestPMW3816>("IFeature9001TestPMW3816"),
});

} // namespace
} // namespace devio::test
