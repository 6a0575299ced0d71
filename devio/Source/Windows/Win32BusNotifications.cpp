// Win32Bus: the (un)registrations of device notifications, which other threads send to the bus's
// window thread as records.
#include "Windows/Win32Bus.h"

#include "core/ErrorRecord.h"
#include "core/Timing.h"

#include <dbt.h>

namespace devio {

void Win32Bus::handle_request(DeviceNotificationRequest& request)
{
    const HWND window = m_window.load();
    if (request.kind == 0 && request.op == 0) {
        DEV_BROADCAST_DEVICEINTERFACE_W filter{};
        filter.dbcc_size = sizeof(filter);
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = request.interfaceClass;
        HDEVNOTIFY n = ::RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
        if (n) {
            m_interface_notifications.insert(n);
            request.interfaceNotification = n;
        } else {
            set_last_error(63, ::GetLastError());
            request.error = 63;
            request.platformError = last_error().detail;
        }
    } else if (request.kind == 0 && request.op == 1) {
        auto it = m_interface_notifications.find(request.interfaceNotification);
        if (it != m_interface_notifications.end()) {
            ::UnregisterDeviceNotification(*it);
            m_interface_notifications.erase(it);
        }
    } else if (request.kind == 1 && request.op == 0) {
        DEV_BROADCAST_HANDLE filter{};
        filter.dbch_size = sizeof(filter);
        filter.dbch_devicetype = DBT_DEVTYP_HANDLE;
        filter.dbch_handle = request.fileHandle;
        HDEVNOTIFY n = ::RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
        if (n) {
            std::lock_guard<std::mutex> lock(m_notification_mutex);
            m_handle_notifications[n] = request.fileHandle;
            request.handleNotification = n;
        } else {
            set_last_error(6, ::GetLastError(), "RegisterDeviceNotification");
            request.error = 6;
            request.platformError = last_error().detail;
        }
    } else if (request.kind == 1 && request.op == 1) {
        std::lock_guard<std::mutex> lock(m_notification_mutex);
        if (request.handleNotification && request.fileHandle) {
            auto it = m_handle_notifications.find(request.handleNotification);
            if (it != m_handle_notifications.end()) {
                if (it->second != INVALID_HANDLE_VALUE)
                    ::CloseHandle(it->second);
                ::UnregisterDeviceNotification(it->first);
                m_handle_notifications.erase(it);
            }
        }
    }
}

bool Win32Bus::send_request(DeviceNotificationRequest& request)
{
    const HWND window = m_window.load();
    if (!window) {
        set_last_error(72);
        return false;
    }
    // The time-out ends the send even while the window thread handles the record (SMTO_BLOCK does
    // not wait for a hung handler), so the record is shared rather than on this stack: a late
    // answer lands in it, or is dropped, after this call has returned.
    auto record = std::make_shared<DeviceNotificationRequest>(request);
    {
        std::lock_guard<std::mutex> lock(m_request_mutex);
        m_requests[record.get()] = SentRequest{record, false};
    }
    DWORD_PTR result = 0;
    const bool sent = ::SendMessageTimeoutW(window, WM_USER, sizeof(request), reinterpret_cast<LPARAM>(record.get()),
                                            SMTO_BLOCK, Timing::scaled(5000), &result) != 0;
    std::lock_guard<std::mutex> lock(m_request_mutex);
    m_requests.erase(record.get());
    if (sent)
        request = *record;
    return sent;
}

std::shared_ptr<DeviceNotificationRequest> Win32Bus::claim_request(DeviceNotificationRequest* key)
{
    std::lock_guard<std::mutex> lock(m_request_mutex);
    auto it = m_requests.find(key);
    if (it == m_requests.end() || it->second.claimed)
        return nullptr;
    it->second.claimed = true;
    return it->second.record;
}

bool Win32Bus::answer_request(const std::shared_ptr<DeviceNotificationRequest>& record,
                              const DeviceNotificationRequest& answer)
{
    std::lock_guard<std::mutex> lock(m_request_mutex);
    if (m_requests.find(record.get()) == m_requests.end())
        return false;
    *record = answer;
    return true;
}

// The sender reported its time-out: a registration it will never hear of is taken back. A file
// handle stays the caller's, who was told the registration failed.
void Win32Bus::drop_late_answer(const DeviceNotificationRequest& answer)
{
    if (answer.op != 0)
        return;
    if (answer.kind == 0 && answer.interfaceNotification) {
        m_interface_notifications.erase(answer.interfaceNotification);
        ::UnregisterDeviceNotification(answer.interfaceNotification);
    } else if (answer.kind == 1 && answer.handleNotification) {
        std::lock_guard<std::mutex> lock(m_notification_mutex);
        m_handle_notifications.erase(answer.handleNotification);
        ::UnregisterDeviceNotification(answer.handleNotification);
    }
}

HDEVNOTIFY Win32Bus::register_notification(DeviceNotificationRequest& request, HDEVNOTIFY DeviceNotificationRequest::*result,
                                           ErrorCode sendFailure, const char* text)
{
    if (!m_window.load()) {
        set_last_error(72);
        return nullptr;
    }
    if (!send_request(request)) {
        // The send itself failed: the record would say nothing new, so say that registering did.
        set_last_error(sendFailure, ::GetLastError(), text);
        return nullptr;
    }
    if (!(request.*result))
        set_last_error(request.error, request.platformError);
    return request.*result;
}

HDEVNOTIFY Win32Bus::registerDeviceNotificationAndTakeOwnershipOfHandle(HANDLE file)
{
    DeviceNotificationRequest request;
    request.kind = 1;
    request.op = 0;
    request.fileHandle = file;
    return register_notification(request, &DeviceNotificationRequest::handleNotification, 6,
                                 "RegisterDeviceNotification");
}

HDEVNOTIFY Win32Bus::registerDeviceInterfaceNotification(const GUID& interfaceClass)
{
    DeviceNotificationRequest request;
    request.kind = 0;
    request.op = 0;
    request.interfaceClass = interfaceClass;
    return register_notification(request, &DeviceNotificationRequest::interfaceNotification, 63, nullptr);
}

bool Win32Bus::unregisterDeviceNotificationAndCloseHandle(HDEVNOTIFY notification, HANDLE file)
{
    DeviceNotificationRequest request;
    request.kind = 1;
    request.op = 1;
    request.handleNotification = notification;
    request.fileHandle = file;
    return send_request(request);
}

void Win32Bus::unregisterDeviceInterfaceNotification(HDEVNOTIFY notification)
{
    if (!m_window.load())
        return;
    DeviceNotificationRequest request;
    request.kind = 0;
    request.op = 1;
    request.interfaceNotification = notification;
    send_request(request);
}

bool Win32Bus::checkDeviceNotificationHandle(HDEVNOTIFY notification, HANDLE file)
{
    std::lock_guard<std::mutex> lock(m_notification_mutex);
    auto it = m_handle_notifications.find(notification);
    return it != m_handle_notifications.end() && it->second == file && file != INVALID_HANDLE_VALUE;
}

} // namespace devio
