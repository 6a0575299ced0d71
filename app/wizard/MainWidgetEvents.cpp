// DFU events on the UI thread: arrivals, removals, connections, progress and status.
#include "MainWidget.h"

using wizard::Page;

void MainWidget::onDfuEvent(DFU_DEVICE device, DFU_EVENTTYPE event, int param)
{
    if (m_starting) {
        m_heldEvents.push_back(HeldEvent{device, event, param});
        return;
    }
    switch (event) {
    case DFU_EVENT_DEVICE_ARRIVAL:
        onDeviceArrival(device);
        break;
    case DFU_EVENT_DEVICE_REMOVAL:
        onDeviceRemoval(device);
        break;
    case DFU_EVENT_ENUMERATION_COMPLETE:
        m_enumerationComplete = true;
        if (page() == Page::Detecting && !m_detectTimer.isActive())
            setState(Page::NextDevice);
        break;
    case DFU_EVENT_CONNECTED:
        awaitReturn(device);
        onDeviceConnected(device);
        break;
    case DFU_EVENT_DISCONNECTED:
        awaitReturn(device);
        break;
    case DFU_EVENT_PROGRESS:
        if (page() == Page::Updating || page() == Page::UpdatingReceiver)
            m_percentLabel->setText(progressText(param));
        // The transfer goes on: the device did not leave, or is back.
        if (page() == Page::Updating && device == m_currentDevice)
            m_returnTimer.stop();
        break;
    case DFU_EVENT_STATUS:
        onStatus(param);
        break;
    default:  // codes we do not know
        break;
    }
}

void MainWidget::onStatus(int status)
{
    switch (status) {
    case DFU_STATUS_STARTED:
        if (page() == Page::TurnOffAndOn)
            setState(Page::Updating);
        break;
    case DFU_STATUS_SUCCEEDED:
        m_anyUpdateSucceeded = true;
        // Unit id 0 names no unit (every receiver reports it): recording it would hide them all.
        if (m_trackedUnitId != 0)
            m_updatedUnits[static_cast<int>(m_trackedUnitId)] = true;
        if (page() == Page::Updating)
            setState(Page::DeviceUpdated);
        else if (page() == Page::UpdatingReceiver)
            enterSummary();
        break;
    case DFU_STATUS_FAILED:
        if (page() == Page::Updating)
            setState(Page::UpdateFailed);
        else if (page() == Page::UpdatingReceiver)
            setState(Page::ReceiverUpdateFailed);
        break;
    default:
        break;
    }
}

bool MainWidget::trackingFilters(const wizard::DeviceFacts& f) const
{
    // While one device is being updated, other devices are only recorded.
    return m_trackedProductId != 0 && m_trackedUnitId != 0 &&
           (f.productId != m_trackedProductId || f.unitId != m_trackedUnitId);
}

void MainWidget::onDeviceArrival(DFU_DEVICE device)
{
    wizard::DeviceFacts f = facts(device);
    if (!f.readable)
        return;
    if (f.unitId != 0 && m_updatedUnits.count(static_cast<int>(f.unitId)) && !f.inDfu)
        return;

    const DeviceFirmwareEntry* row = matchDeviceOnArrival(m_catalogue.devices, m_catalogue.deviceCount, f.productId);
    if (!row) {
        const ReceiverFirmwareEntry* receiverRow =
            matchReceiverOnArrival(m_catalogue.receivers, m_catalogue.receiverCount, f.productId);
        if (!receiverRow)
            return;
        m_receivers.emplace(device, *receiverRow);
        if (page() == Page::ReceiverConnectionLost && checkReceiver())
            setState(Page::StartReceiverUpdate);
        refreshRightButton();
        return;
    }

    m_devices[device] = *row;
    f = facts(device);
    if (!f.readable || trackingFilters(f))
        return;
    const FirmwareVersion wanted = row->version;
    if (page() == Page::ConnectionLost) {
        if (needsUpdate(device, wanted)) {
            m_currentDevice = device;
            setState(Page::StartUpdate);
        }
        return;
    }
    const bool waiting = page() == Page::PlugReceivers || page() == Page::WakeUp || page() == Page::Updating ||
                         page() == Page::WaitForBootloader;
    if (!waiting || !f.inDfu || f.connectionKind != DFU_CONNECTION_BLUETOOTH_LE || !needsUpdate(device, wanted))
        return;
    m_currentDevice = device;
    if (page() == Page::Updating) {
        startDeviceUpdate(true);
    } else if (page() == Page::PlugReceivers) {
        m_rightButton->setEnabled(true);
        setState(Page::StartUpdate);
    } else {
        setState(Page::StartUpdate);
    }
}

void MainWidget::onDeviceRemoval(DFU_DEVICE device)
{
    // A Bluetooth LE device that leaves during its update reports no failure: it may be restarting.
    awaitReturn(device);
    m_devices.erase(device);
    m_receivers.erase(device);
    if (device == m_currentDevice) {
        m_currentDevice = 0;
        if (page() == Page::TurnOffAndOn)
            setState(Page::ConnectionLost);
    }
    refreshRightButton();
}

void MainWidget::onDeviceConnected(DFU_DEVICE device)
{
    const wizard::DeviceFacts f = facts(device);
    if (!f.readable)
        return;
    const auto entry = m_devices.find(device);
    if (entry != m_devices.end()) {
        if (const DeviceFirmwareEntry* row =
                matchDeviceOnConnect(m_catalogue.devices, m_catalogue.deviceCount, f.productId))
            entry->second = *row;
    }
    if (trackingFilters(f) || entry == m_devices.end())
        return;
    const FirmwareVersion wanted = entry->second.version;
    switch (page()) {
    case Page::WakeUp:
        m_currentDevice = device;
        if (needsUpdate(device, wanted)) {
            setState(Page::UpdateReady);
        } else {
            forgetDevice();
            setState(Page::NextDevice);
        }
        break;
    case Page::ConnectionLost:
    case Page::WaitForBootloader:
        if (needsUpdate(device, wanted)) {
            m_currentDevice = device;
            setState(Page::StartUpdate);
        }
        break;
    default:
        break;
    }
}
