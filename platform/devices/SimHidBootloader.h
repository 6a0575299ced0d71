// A simulated receiver bootloader behind its HID collection: a USB node of its own
// ("USB\VID_7E51&PID_xxxx\SIMBLn", absent until plugged) with one collection of usage page
// 0xFFB0, usage 1, and 33-byte input and output reports with report id 0.
#pragma once

#include "devices/SimBootloader.h"

#include <sim/DeviceTree.h>
#include <sim/HidCollection.h>

#include <memory>

namespace platform::sim {

class SimHidBootloader {
public:
    SimHidBootloader(SimBootloaderConfig config, SimReceiverVersion application);
    ~SimHidBootloader();
    SimHidBootloader(const SimHidBootloader&) = delete;
    SimHidBootloader& operator=(const SimHidBootloader&) = delete;

    SimBootloader& model() { return *m_model; }
    DevInst node() const { return m_node; }
    std::shared_ptr<HidCollection> collection() const { return m_collection; }
    void plug();
    void unplug(Removal how = Removal::Surprise);
    bool is_present() const;

private:
    std::shared_ptr<SimBootloader> m_model;
    DevInst m_node = 0;
    std::shared_ptr<HidCollection> m_collection;
};

}  // namespace platform::sim
