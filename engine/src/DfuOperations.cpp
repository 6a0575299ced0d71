// The update operations run on the manager's operation thread, and how each result becomes a
// device status and events.
#include "DfuManager.h"

#include "DFUProtocol.h"
#include "EngineLog.h"
#include "Enumerator.h"
#include "EventHolder.h"
#include "FSRepository.h"
#include "ProtocolSelection.h"
#include "Receiver.h"
#include "WirelessDevice.h"
#include "core/Timing.h"

using devio::Timing;

namespace qv {

namespace {

bool is_paired(std::uint32_t devType)
{
    return devType != QV_DEVTYPE_RECEIVER && devType != QV_DEVTYPE_BOOTLOADER;
}

void pause_ms(DWORD ms)
{
    Sleep(Timing::scaled(ms));
}

// The version a firmware file stands for: its descriptor's, or what its file name tells.
WString package_version(const FirmwareRecord& firmware)
{
    if (firmware.version.present())
        return version_text(firmware.version);
    WString name = firmware.path;
    const auto slash = name.find_last_of(QV_W("\\/"));
    if (slash != WString::npos)
        name = name.substr(slash + 1);
    VersionRecord v;
    if (!split_version_text(name, v)) {
        set_prefix(v, "UNK");
        v.number = 0;
    }
    return version_text(v);
}

}  // namespace

int DfuManager::run_operation(OperationRecord& rec)
{
    Enumerator& e = Enumerator::instance();
    const unsigned op = rec.op;
    DeviceRef dev = e.lookup(rec.handle);
    if (!dev)
        return (op == 1 || op == 2 || op == 6 || op == 7) ? QV_INVALID_HANDLE : QV_DEVICE_ERROR;
    fire(rec.handle, QV_EVENT_DFU_STATUS_CHANGED, QV_DFU_IN_PROGRESS_STATUS);
    dev->update_info([](QV_DEVICE_INFO& r) { r.DFUStatus = QV_DFU_IN_PROGRESS_STATUS; });
    rec.device = dev->info();
    const std::uint32_t devType = rec.device.DevType;

    rec.protocol = select_protocol(rec.handle, 0);
    if (!rec.protocol)
        return QV_NOT_SUPPORTED;
    m_protocol.store(rec.protocol.get());
    DFUProtocol& p = *rec.protocol;
    if (rec.silent)
        p.set_flags(p.flags() | DFUProtocol::kSilent);
    if (is_paired(devType)) {
        const std::uint64_t carrier = rec.device.Parent;
        p.set_handles(rec.handle, carrier, (p.flags() & DFUProtocol::kRecovery) ? carrier : rec.handle);
        if (auto* w = dev.as<CWirelessDevice>())
            bind_link_events(w->link_up_event(), w->link_lost_event());
    } else if (devType == QV_DEVTYPE_BOOTLOADER) {
        // Already in its bootloader: it is the carrier; there is no application-mode target.
        p.set_handles(0, rec.handle, rec.handle);
    } else {
        p.set_handles(rec.handle, 0, rec.handle);
    }
    dev->set_busy(true);

    FSRepository& repo = FSRepository::instance();
    auto mark_receiver_update = [&](bool expectBootloader) {
        e.underUpdate.store(rec.handle);
        if (expectBootloader)
            e.bootloaderExpected.store(rec.device.ModelID);
    };
    VersionRecord current;
    switch (op) {
    case 0:
        if (rec.device.RadioStatus != 0)
            return QV_DEVICE_ERROR;
        if (!dev->read_version(current))
            return QV_RESOURCE_ERROR;
        pause_ms(10);
        if (!repo.FindFirmware(current, rec.firmware, 0))
            return QV_NO_FW_UPDATE;
        dev->update_info([&](QV_DEVICE_INFO& r) { copy_bounded(r.NextFW, 80, version_text(rec.firmware.version)); });
        break;
    case 1:
        if (!dev->read_version(current))
            return QV_RESOURCE_ERROR;
        dev->set_version(current);
        if (!repo.FindFirmware(current, rec.firmware, 0))
            return QV_NO_FW_UPDATE;
        dev->update_info([&](QV_DEVICE_INFO& r) { copy_bounded(r.NextFW, 80, version_text(rec.firmware.version)); });
        mark_receiver_update(true);
        break;
    case 2:
    case 3: {
        std::uint64_t named = 0;
        const int info = p.GetInfo(current, named);
        if (op == 3 && info != QV_SUCCESS)
            return info;
        if (op == 3)
            pause_ms(1000);
        if (!current.present())
            return QV_NO_FW_UPDATE;
        dev->set_version(current);
        if (!repo.FindFirmware(current, rec.firmware, 0))
            return QV_NO_FW_UPDATE;
        if (op == 2)
            mark_receiver_update(true);
        break;
    }
    case 4: {
        std::uint64_t named = 0;
        std::unique_ptr<DFUProtocol> chosen;
        for (auto& candidate : recovery_candidates(rec.handle)) {
            candidate->set_handles(0, rec.handle, rec.handle);
            if (candidate->GetInfo(current, named) == QV_SUCCESS) {
                chosen = std::move(candidate);
                break;
            }
        }
        if (!chosen)
            return QV_DEVICE_ERROR;
        m_protocol.store(nullptr);
        rec.protocol = std::move(chosen);
        m_protocol.store(rec.protocol.get());
        DeviceRef found = e.lookup(named);
        if (!found)
            return QV_INVALID_HANDLE;
        pause_ms(1000);
        found->set_version(current);
        found->update_info([](QV_DEVICE_INFO& r) { r.DFUStatus = QV_DFU_IN_PROGRESS_STATUS; });
        rec.protocol->set_handles(named, rec.handle, rec.handle);
        if (!repo.FindFirmware(current, rec.firmware, 0))
            return QV_NO_FW_UPDATE;
        break;
    }
    case 5:
        rec.firmware.path = rec.firmwarePath;
        break;
    case 6:
        rec.firmware.path = rec.firmwarePath;
        if (rec.hasSignature)
            rec.signature.path = rec.signaturePath;
        mark_receiver_update(devType != QV_DEVTYPE_BOOTLOADER);
        break;
    case 7:
        if (!dev->read_version(current))
            return QV_RESOURCE_ERROR;
        if (!repo.FindFirmware(current, rec.firmware, 2))
            return QV_NO_FW_UPDATE;
        if (devType == QV_DEVTYPE_RECEIVER)
            mark_receiver_update(true);
        break;
    default:
        return QV_NOT_SUPPORTED;
    }
    dev.reset();
    return run_protocol(rec);
}

int DfuManager::run_protocol(OperationRecord& rec)
{
    FSRepository& repo = FSRepository::instance();
    DFUProtocol& p = *rec.protocol;
    int result = repo.LoadImage(&rec.firmware);
    if (result != QV_SUCCESS)
        return result;
    const bool signed_ = rec.hasSignature && rec.op == 6;
    if (signed_ && (result = repo.LoadImage(&rec.signature)) != QV_SUCCESS)
        return result;
    // A corrupt image never reaches a working device.
    if ((result = p.check_image(rec.firmware, signed_ ? &rec.signature : nullptr)) != QV_SUCCESS)
        return result;

    const WString sw = wformat("%u,%u,%u", rec.firmware.minSw[0], rec.firmware.minSw[1], rec.firmware.minSw[2]);
    const WString package = wformat("Version[%s], Size[%zu], File[%s], SWVersion[%s]",
                                    narrow(package_version(rec.firmware)).c_str(), rec.firmware.image.size(),
                                    narrow(rec.firmware.path).c_str(), narrow(sw).c_str());
    const WString marker = wformat("Op[%u],FWPackage[%s], DevInfo[%s]", rec.op, narrow(package).c_str(),
                                   narrow(EngineLog::record_dump(rec.device)).c_str());
    EngineLog::instance().pending_marker(&marker);

    result = p.Prepare();
    if (result == QV_SUCCESS)
        result = p.Run(rec.firmware, signed_ ? &rec.signature : nullptr);
    if (result == QV_SUCCESS)
        result = p.Finish();
    if (result != QV_SUCCESS)
        result = p.Abort(result);
    EngineLog::instance().pending_marker(nullptr);
    return result;
}

int DfuManager::status_for(unsigned op, std::uint32_t devType, int result)
{
    const bool receiverOp = op == 1 || op == 6 || (op == 7 && devType == QV_DEVTYPE_RECEIVER);
    if (result == QV_SUCCESS)
        return QV_DFU_SUCCEEDED;
    if (result == QV_CRITICAL_ERROR)
        return QV_DFU_CRITICAL_ERROR;
    if (result == QV_NO_FW_UPDATE)
        return (op == 2 || op == 3 || op == 4) ? QV_DFU_NO_FW_UPDATE : QV_DFU_NO_NEWER_FW;
    if (result == QV_LOW_BATTERY)
        return (receiverOp || op == 2) ? QV_DFU_FAILED : QV_DFU_NEWER_FW_AVAILABLE;
    return QV_DFU_FAILED;
}

void DfuManager::finish_operation(OperationRecord& rec, int result)
{
    Enumerator& e = Enumerator::instance();
    const unsigned op = rec.op;
    const std::uint32_t devType = rec.device.DevType;
    unbind_link_events();

    const bool receiverOp = op == 1 || op == 6 || (op == 7 && devType == QV_DEVTYPE_RECEIVER);
    const int status = status_for(op, devType, result);

    auto store = [&](std::uint64_t handle) {
        if (!handle)
            return;
        DeviceRef ref = e.lookup(handle);
        if (!ref)
            return;
        ref->update_info([&](QV_DEVICE_INFO& r) { r.DFUStatus = status; });
        ref->set_busy(false);
    };
    DFUProtocol* p = rec.protocol.get();
    if (receiverOp || op == 2) {
        std::uint64_t endedOn = 0;
        if (p) {
            const std::uint64_t target = p->target() ? p->target() : p->carrier();
            if (op == 2)
                endedOn = result == QV_SUCCESS ? p->target() : p->carrier();
            else if (result == QV_SUCCESS || result == QV_NO_FW_UPDATE)
                endedOn = target;
            else if (result == QV_CRITICAL_ERROR)
                endedOn = p->carrier();
        }
        // A device still present never stays "in progress" after its operation ended.
        if (!endedOn || !e.lookup(endedOn))
            endedOn = rec.handle;
        store(endedOn);
        e.bootloaderExpected.store(0);
        EventHolder::instance().fire(rec.handle, QV_EVENT_DFU_STATUS_CHANGED, static_cast<std::uint64_t>(status));
        const bool removal = op == 2 ? result == QV_SUCCESS : result != QV_NO_FW_UPDATE;
        // A receiver that never left (the image was refused first) is not reported as gone.
        const std::uint64_t under = e.underUpdate.load();
        if (removal && under != 0 && !e.lookup(under))
            EventHolder::instance().fire(rec.handle, QV_EVENT_DEVICE_REMOVAL, 0);
        e.underUpdate.store(0);
    } else {
        store(rec.handle);
        EventHolder::instance().fire(rec.handle, QV_EVENT_DFU_STATUS_CHANGED, static_cast<std::uint64_t>(status));
    }
    // Recovery ends with the device the receiver found in its bootloader, never the receiver
    // itself (the protocol's target, when no candidate named a device).
    if (op == 4) {
        std::uint64_t remembered = 0;
        if (DeviceRef receiver = e.lookup(rec.handle))
            if (auto* r = receiver.as<CReceiver>())
                remembered = r->remembered_bootloader_device();
        if (remembered && remembered != rec.handle)
            e.remove(remembered);
    }
    if (DeviceRef ref = e.lookup(rec.handle))
        ref->set_busy(false);
}

}  // namespace qv
