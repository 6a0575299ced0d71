// The wizard's states: entry actions, the two buttons, the detect and retry timers, and the glue
// between the window's tables and the pure decisions of UpdateDecision.h.
#include "MainWidget.h"

#include "core/Timing.h"
#include "startup/ProcessEnd.h"

#include <QDesktopServices>
#include <QFile>
#include <QMetaObject>
#include <QUrl>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kRetries = 3;
constexpr unsigned kDetectMs = 2000;
constexpr unsigned kRetryTickMs = 1000;
// How long a device may stay away while it restarts during an update: as long as the adapter
// lets a transfer go without a word from the device.
constexpr unsigned kDeviceReturnMs = 15000;
const char* const kSupportPage = "https://support.tarnwick.com/en_us/home";

// A plain copy: the start runs on a thread of its own.
bool readResource(const char* path, std::string& content)
{
    QFile file(QString::fromUtf8(path));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    content.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return true;
}

int length(const std::string& bytes)
{
    return static_cast<int>(bytes.size());
}

}  // namespace

using wizard::Page;

void MainWidget::setState(int state)
{
    m_returnTimer.stop();
    m_state = state;
    buildPage(state);
    enterAction(page());
}

void MainWidget::enterAction(Page state)
{
    switch (state) {
    case Page::Detecting:
        m_api.startDetection();
        m_detectTimer.start(static_cast<int>(devio::Timing::scaled(kDetectMs)));
        break;
    case Page::NextDevice: {
        m_retryCount = 0;
        m_shownKind = kFirmwareKindKeyboard;
        if (distinctReceivers() > 1) {
            setState(Page::UnplugReceivers);
            return;
        }
        if (m_devices.empty()) {
            setState(Page::NextReceiver);
            return;
        }
        const bool anyOnline = std::any_of(m_devices.begin(), m_devices.end(), [this](const auto& entry) {
            const wizard::DeviceFacts f = facts(entry.first);
            return f.readable && f.online;
        });
        if (!anyOnline) {
            m_currentDevice = m_devices.begin()->first;
            setState(Page::WakeUp);
            return;
        }
        const DFU_DEVICE next = pickNextDevice(false);
        if (next != 0) {
            m_currentDevice = next;
            setState(Page::UpdateReady);
        } else {
            dropOnlineDevices();
            setState(Page::NextDevice);
        }
        break;
    }
    case Page::WakeUp:
        if (m_anyUpdateSucceeded)
            m_api.startDetection();
        break;
    case Page::StartUpdate: {
        const wizard::DeviceFacts f = facts(m_currentDevice);
        if (f.readable) {
            m_trackedProductId = f.productId;
            m_trackedUnitId = f.unitId;
        }
        startDeviceUpdate(false);
        break;
    }
    case Page::WaitForBootloader:
        m_returnTimer.start(static_cast<int>(devio::Timing::scaled(kDeviceReturnMs)));
        break;
    case Page::UpdateFailed:
    case Page::ReceiverUpdateFailed:
        if (m_retryCount < kRetries) {
            m_retryTicks = 0;
            m_retryTimer.start(static_cast<int>(devio::Timing::scaled(kRetryTickMs)));
        }
        break;
    case Page::NextReceiver: {
        m_shownKind = kShownReceiver;
        m_retryCount = 0;
        const std::size_t receivers = distinctReceivers();
        if (receivers > 1)
            setState(Page::UnplugReceivers);
        else if (receivers == 1 && checkReceiver())
            setState(Page::ReceiverUpdateReady);
        else
            enterSummary();
        break;
    }
    case Page::StartReceiverUpdate:
        startReceiverUpdate();
        break;
    default:
        break;
    }
}

wizard::DeviceFacts MainWidget::facts(DFU_DEVICE device)
{
    DFU_DEVICE_INFO info;
    std::memset(&info, 0, sizeof info);
    const int result = m_api.getDeviceInfo(device, &info);
    return wizard::factsFromInfo(result, info);
}

bool MainWidget::needsUpdate(DFU_DEVICE device, const FirmwareVersion& wanted)
{
    const wizard::Verdict verdict = wizard::updateVerdict(facts(device), wanted);
    if (verdict == wizard::Verdict::UpToDate)
        m_upToDateSeen = true;
    return verdict == wizard::Verdict::NeedsUpdate;
}

DFU_DEVICE MainWidget::pickNextDevice(bool sameUnitOnly)
{
    std::vector<wizard::Candidate> candidates;
    candidates.reserve(m_devices.size());
    for (const auto& [device, row] : m_devices)
        candidates.push_back(wizard::Candidate{device, facts(device), row.version});
    const wizard::Pick pick = wizard::pickNextDevice(candidates, sameUnitOnly, m_trackedProductId, m_trackedUnitId);
    if (pick.upToDateSeen)
        m_upToDateSeen = true;
    return pick.device;
}

void MainWidget::dropOnlineDevices()
{
    for (auto it = m_devices.begin(); it != m_devices.end();) {
        const wizard::DeviceFacts f = facts(it->first);
        it = (f.readable && f.online) ? m_devices.erase(it) : std::next(it);
    }
}

void MainWidget::forgetDevice()
{
    if (m_currentDevice != 0) {
        m_devices.erase(m_currentDevice);
        m_currentDevice = 0;
    } else if (m_trackedUnitId != 0 && m_updatedUnits.count(static_cast<int>(m_trackedUnitId))) {
        for (auto it = m_devices.begin(); it != m_devices.end();) {
            const wizard::DeviceFacts f = facts(it->first);
            it = (f.readable && f.unitId == m_trackedUnitId) ? m_devices.erase(it) : std::next(it);
        }
    }
    m_trackedProductId = 0;
    m_trackedUnitId = 0;
}

void MainWidget::removeTrackedUnit()
{
    for (auto it = m_devices.begin(); it != m_devices.end();) {
        const wizard::DeviceFacts f = facts(it->first);
        const bool tracked = f.readable && f.productId == m_trackedProductId && f.unitId == m_trackedUnitId;
        it = tracked ? m_devices.erase(it) : std::next(it);
    }
}

Page MainWidget::nextPage() const
{
    return wizard::summaryState(
        wizard::RunOutcome{m_failureAcknowledged, m_updateDeclined, m_anyUpdateSucceeded, m_upToDateSeen});
}

void MainWidget::enterSummary()
{
    const Page summary = nextPage();
    setState(summary == Page::NothingFound ? Page::PlugReceivers : summary);
}

std::size_t MainWidget::distinctReceivers() const
{
    // A receiver left with several candidate rows is still one receiver.
    std::size_t count = 0;
    for (auto it = m_receivers.begin(); it != m_receivers.end(); it = m_receivers.upper_bound(it->first))
        ++count;
    return count;
}

DFU_DEVICE MainWidget::lowestReceiver() const
{
    return m_receivers.empty() ? 0 : m_receivers.begin()->first;
}

bool MainWidget::checkReceiver()
{
    const DFU_DEVICE receiver = lowestReceiver();
    if (receiver == 0)
        return false;
    DFU_DEVICE_INFO info;
    std::memset(&info, 0, sizeof info);
    wizard::ReceiverFacts rf;
    rf.facts = wizard::factsFromInfo(m_api.getDeviceInfo(receiver, &info), info);
    if (rf.facts.readable && wizard::readVersionText(rf.facts.version)) {
        for (std::uint32_t i = 0; i < info.entityCount; ++i) {
            DFU_DEVICE_ENTRY entry;
            std::memset(&entry, 0, sizeof entry);
            if (m_api.getDeviceEntry(receiver, static_cast<int>(i), &entry) != DFU_OK)
                continue;
            if (std::strncmp(entry.prefix, "BL", sizeof entry.prefix) == 0) {
                rf.bootloaderRevision = entry.version;
                break;
            }
        }
    }
    const wizard::ReceiverChoice choice =
        wizard::chooseReceiverRows(rf, m_catalogue.receivers, m_catalogue.receiverCount);
    if (!choice.decided)
        return false;
    if (choice.upToDateSeen)
        m_upToDateSeen = true;
    m_receivers.erase(receiver);
    for (const ReceiverFirmwareEntry* row : choice.rows)
        m_receivers.emplace(receiver, *row);
    return choice.needsUpdate;
}

void MainWidget::startDeviceUpdate(bool mainFirst)
{
    const auto entry = m_devices.find(m_currentDevice);
    if (entry == m_devices.end()) {
        setState(Page::UpdateFailed);
        return;
    }
    const DeviceFirmwareEntry row = entry->second;
    DFU_DEVICE_INFO info;
    std::memset(&info, 0, sizeof info);
    m_api.getDeviceInfo(m_currentDevice, &info);
    std::string image;
    std::string second;
    if (!info.online || !readResource(row.imagePath, image) ||
        (row.secondImagePath && row.secondImagePath[0] && !readResource(row.secondImagePath, second))) {
        setState(Page::UpdateFailed);
        return;
    }
    startInBackground(
        [this, device = m_currentDevice, image = std::move(image), second = std::move(second), mainFirst] {
            return m_api.startUpdate(device, image.data(), length(image), second.data(), length(second), mainFirst);
        },
        [this](int result) { setState(wizard::stateAfterDeviceStart(result)); });
}

void MainWidget::startReceiverUpdate()
{
    const DFU_DEVICE receiver = lowestReceiver();
    if (receiver == 0) {
        setState(Page::ReceiverUpdateFailed);
        return;
    }
    std::vector<ReceiverFirmwareEntry> candidates;
    const auto range = m_receivers.equal_range(receiver);
    for (auto it = range.first; it != range.second; ++it)
        candidates.push_back(it->second);
    std::reverse(candidates.begin(), candidates.end());  // most recently added first
    const std::size_t index = wizard::receiverRowIndex(m_receiverRotation, candidates.size());
    m_receiverRotation = static_cast<int>(index) + 1;
    const ReceiverFirmwareEntry& row = candidates[index];

    std::string image;
    std::string signature;
    if (!readResource(row.hexPath, image) ||
        (row.signaturePath && row.signaturePath[0] && !readResource(row.signaturePath, signature))) {
        setState(Page::ReceiverUpdateFailed);
        return;
    }
    startInBackground(
        [this, receiver, image = std::move(image), signature = std::move(signature)] {
            return m_api.startReceiverUpdate(receiver, image.data(), length(image), signature.data(),
                                             length(signature));
        },
        [this](int result) { setState(result == DFU_OK ? Page::UpdatingReceiver : Page::ReceiverUpdateFailed); });
}

void MainWidget::startInBackground(std::function<int()> start, std::function<void(int)> then)
{
    // The device is back and its update starts: the start's result decides what comes next.
    m_returnTimer.stop();
    m_starting = true;
    m_startThen = std::move(then);
    m_startThread = std::thread([this, start = std::move(start)] {
        m_startResult = start();
        QMetaObject::invokeMethod(this, "onStartFinished", Qt::QueuedConnection);
    });
}

void MainWidget::onStartFinished()
{
    // The join also makes the thread's result and everything the call wrote visible here.
    m_startThread.join();
    m_starting = false;
    const std::function<void(int)> then = std::move(m_startThen);
    then(m_startResult);
    // The events that came while the call ran, in their order, as if they had waited behind it.
    while (!m_starting && !m_heldEvents.empty()) {
        const HeldEvent held = m_heldEvents.front();
        m_heldEvents.pop_front();
        onDfuEvent(held.device, held.event, held.param);
    }
}

void MainWidget::openSupportPage()
{
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(kSupportPage)));
}

void MainWidget::onLeftButtonClicked()
{
    switch (page()) {
    case Page::Welcome:
        setState(Page::Detecting);
        break;
    case Page::UpdateReady:
    case Page::WakeUp:
    case Page::LowBattery:
        m_updateDeclined = true;
        forgetDevice();
        setState(Page::NextDevice);
        break;
    case Page::DeviceUpdated:
        forgetDevice();
        setState(Page::NextDevice);
        break;
    case Page::UpdateFailed:
    case Page::ReceiverUpdateFailed:
        if (m_retryCount >= kRetries)
            openSupportPage();
        break;
    case Page::ReceiverUpdateReady:
        m_updateDeclined = true;
        enterSummary();
        break;
    default:
        quitApplication();
        break;
    }
}

void MainWidget::onRightButtonClicked()
{
    switch (page()) {
    case Page::UnplugReceivers:
        setState(m_shownKind == kShownReceiver ? Page::NextReceiver : Page::NextDevice);
        break;
    case Page::PlugReceivers:
        setState(Page::Detecting);
        break;
    case Page::UpdateReady:
        setState(m_devices.empty() ? Page::UpdateFailed : Page::StartUpdate);
        break;
    case Page::UpdateFailed:
        if (m_retryCount < kRetries)
            break;
        [[fallthrough]];
    case Page::ConnectionLost:
        removeTrackedUnit();
        m_failureAcknowledged = true;
        forgetDevice();
        setState(Page::NextDevice);
        break;
    case Page::ReceiverUpdateReady:
        setState(m_receivers.empty() ? Page::ReceiverUpdateFailed : Page::StartReceiverUpdate);
        break;
    case Page::ReceiverUpdateFailed:
        if (m_retryCount < kRetries)
            break;
        [[fallthrough]];
    case Page::ReceiverConnectionLost:
        m_failureAcknowledged = true;
        enterSummary();
        break;
    default:
        break;
    }
}

void MainWidget::onDetectTimeout()
{
    m_detectTimer.stop();
    if (page() == Page::Detecting && m_enumerationComplete)
        setState(Page::NextDevice);
}

// A device that leaves, drops its link or reconnects while it updates is restarting: its transfer
// must go on (progress) or start again on its return within the bound.
void MainWidget::awaitReturn(DFU_DEVICE device)
{
    if (device != 0 && device == m_currentDevice && page() == Page::Updating && !m_returnTimer.isActive())
        m_returnTimer.start(static_cast<int>(devio::Timing::scaled(kDeviceReturnMs)));
}

void MainWidget::onReturnTimeout()
{
    // Over Bluetooth LE a device that stays away reports nothing: the wait ends as a failed update.
    if (!m_starting && (page() == Page::WaitForBootloader || page() == Page::Updating))
        setState(Page::UpdateFailed);
}

void MainWidget::onRetryTimeout()
{
    ++m_retryTicks;
    if (m_retryTicks < kCountdownSeconds) {
        m_header->setText(countdownText(kCountdownSeconds - m_retryTicks));
        return;
    }
    m_retryTimer.stop();
    ++m_retryCount;
    if (page() == Page::UpdateFailed) {
        const DFU_DEVICE device = pickNextDevice(true);
        if (device == 0) {
            setState(Page::ConnectionLost);
        } else {
            m_currentDevice = device;
            setState(Page::StartUpdate);
        }
    } else if (page() == Page::ReceiverUpdateFailed) {
        if (distinctReceivers() > 1)
            setState(Page::UnplugReceivers);
        else
            setState(checkReceiver() ? Page::StartReceiverUpdate : Page::ReceiverConnectionLost);
    }
}
