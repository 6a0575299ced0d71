#include "WizardPages.h"

#include <QtGlobal>

namespace wizard {

namespace {

#define KEY(k) QT_TRANSLATE_NOOP("MainWidget", k)

constexpr const char* kKeyboardPng = ":/Images/keyboard.png";
constexpr const char* kMousePng = ":/Images/mouse.png";
constexpr const char* kKeyboardErrorPng = ":/Images/keyboardError.png";
constexpr const char* kMouseErrorPng = ":/Images/mouseError.png";
constexpr const char* kReceiverPng = ":/Images/receiver.png";
constexpr const char* kReceiverErrorPng = ":/Images/receiverError.png";
constexpr const char* kOptionsPng = ":/Images/options.png";
constexpr const char* kTickPng = ":/Images/tick.png";
constexpr const char* kCrossPng = ":/Images/crossRed.png";

using P = Page;
using V = PageVariant;
using T = TextArgument;
using R = RightButton;

constexpr PageRow kPages[] = {
    {P::Welcome, V::Any, KEY("welcome-header"), nullptr, false, KEY("welcome-text"), T::None, ":/Images/welcome.png",
     nullptr, nullptr, KEY("continue-button"), nullptr, R::Hidden, false, false},
    {P::Detecting, V::Any, KEY("detecting-devices-header"), nullptr, false, KEY("detecting-devices-text"), T::None,
     kAnimation, nullptr, nullptr, KEY("cancel-button"), nullptr, R::Hidden, false, false},
    {P::UnplugReceivers, V::Any, KEY("unplug-receivers-header"), nullptr, false, KEY("unplug-receivers-text"),
     T::Computer, kReceiverPng, nullptr, ":/Images/one.png", KEY("cancel-button"), KEY("continue-button"),
     R::ShownDisabled, false, false},
    {P::PlugReceivers, V::Any, KEY("plug-receivers-header"), nullptr, false, KEY("plug-receivers-text"), T::None,
     kAnimation, nullptr, nullptr, KEY("cancel-button"), KEY("continue-button"), R::ShownDisabled, false, false},
    {P::UpToDate, V::Any, KEY("devices-up-to-date-header"), nullptr, false, KEY("devices-up-to-date-text"), T::None,
     kOptionsPng, nullptr, kTickPng, KEY("close-button"), nullptr, R::Hidden, false, false},
    {P::UpdateReady, V::Any, KEY("keyboard-update-ready-header"), KEY("mouse-update-ready-header"), false,
     KEY("keyboard-update-ready-text"), T::DeviceName, kKeyboardPng, kMousePng, nullptr, KEY("do-not-update-button"),
     KEY("update-button"), R::Shown, false, false},
    {P::WakeUp, V::Any, KEY("wake-up-your-device-header"), KEY("wake-up-your-mouse-header"), false,
     KEY("wake-up-your-device-text"), T::DeviceName, ":/Images/wakeUpKeyboard.png", ":/Images/wakeUpMouse.png", nullptr,
     KEY("cancel-button"), nullptr, R::Hidden, false, false},
    {P::TurnOffAndOn, V::Any, KEY("turn-device-off-and-on-header"), KEY("turn-mouse-off-and-on-header"), false,
     KEY("turn-device-off-and-on-text"), T::DeviceName, ":/Images/turnOffAndOn.png", nullptr, nullptr, nullptr, nullptr,
     R::Hidden, false, false},
    {P::LowBattery, V::Any, KEY("low-battery-header"), KEY("mouse-low-battery-header"), false, KEY("low-battery-text"),
     T::DeviceName, ":/Images/batteryLow.png", nullptr, nullptr, KEY("continue-button"), nullptr, R::Hidden, false,
     false},
    {P::Updating, V::Any, KEY("updating-keyboard-header"), KEY("updating-mouse-header"), false,
     KEY("updating-keyboard-text"), T::DeviceName, kAnimation, nullptr, nullptr, nullptr, nullptr, R::Hidden, false,
     true},
    {P::ConnectionLost, V::Any, KEY("keyboard-connection-lost-header"), KEY("mouse-connection-lost-header"), false,
     KEY("keyboard-connection-lost-text"), T::DeviceName, kKeyboardErrorPng, kMouseErrorPng, kCrossPng, nullptr,
     KEY("continue-button"), R::Shown, true, false},
    {P::UpdateFailed, V::Final, KEY("update-failed-header"), nullptr, false, KEY("update-failed-text"), T::DeviceName,
     kKeyboardErrorPng, kMouseErrorPng, kCrossPng, KEY("support-page-button"), KEY("continue-button"), R::Shown, false,
     false},
    {P::UpdateFailed, V::Retrying, KEY("update-failed-retrying-header"), nullptr, true,
     KEY("update-failed-retrying-text"), T::DeviceName, kKeyboardErrorPng, kMouseErrorPng, kCrossPng, nullptr, nullptr,
     R::Hidden, false, false},
    {P::ReceiverUpdateReady, V::Any, KEY("receiver-update-ready-header"), nullptr, false,
     KEY("receiver-update-ready-text"), T::None, kReceiverPng, nullptr, nullptr, KEY("do-not-update-button"),
     KEY("update-button"), R::Shown, false, false},
    {P::UpdatingReceiver, V::Any, KEY("updating-receiver-header"), nullptr, false, KEY("updating-receiver-text"),
     T::None, kAnimation, nullptr, nullptr, nullptr, nullptr, R::Hidden, false, true},
    {P::ReceiverConnectionLost, V::Any, KEY("receiver-connection-lost-header"), nullptr, false,
     KEY("receiver-connection-lost-text"), T::Computer, kReceiverErrorPng, nullptr, kCrossPng, nullptr,
     KEY("continue-button"), R::Shown, true, false},
    {P::ReceiverUpdateFailed, V::Final, KEY("receiver-update-failed-header"), nullptr, false,
     KEY("receiver-update-failed-text"), T::None, kReceiverErrorPng, nullptr, kCrossPng, KEY("support-page-button"),
     KEY("continue-button"), R::Shown, false, false},
    {P::ReceiverUpdateFailed, V::Retrying, KEY("receiver-update-failed-retrying-header"), nullptr, true,
     KEY("receiver-update-failed-retrying-text"), T::None, kReceiverErrorPng, nullptr, kCrossPng, nullptr, nullptr,
     R::Hidden, false, false},
    {P::UpdateSucceeded, V::Any, KEY("update-succeeded-header"), nullptr, false, KEY("update-succeeded-text"), T::None,
     kOptionsPng, nullptr, kTickPng, KEY("close-button"), nullptr, R::Hidden, false, false},
    {P::DeviceUpdated, V::Any, KEY("keyboard-update-succeeded-header"), KEY("mouse-update-succeeded-header"), false,
     KEY("device-update-succeeded-text"), T::None, kKeyboardPng, kMousePng, nullptr, KEY("next-button"), nullptr,
     R::Hidden, false, false},
    {P::NoOtherDevices, V::Any, KEY("no-other-devices-to-update-header"), nullptr, false,
     KEY("no-other-devices-to-update-text"), T::None, kOptionsPng, nullptr, kTickPng, KEY("close-button"), nullptr,
     R::Hidden, false, false},
};

#undef KEY

// Texts the state machine sets outside the page rows.
[[maybe_unused]] constexpr const char* kOtherKeys[] = {
    QT_TRANSLATE_NOOP("MainWidget", "default-keyboard-name"), QT_TRANSLATE_NOOP("MainWidget", "default-mouse-name"),
    QT_TRANSLATE_NOOP("MainWidget", "dfu-progress-label"),    QT_TRANSLATE_NOOP("MainWidget", "retry-timer-header"),
    QT_TRANSLATE_NOOP("MainWidget", "second-text"),           QT_TRANSLATE_NOOP("MainWidget", "seconds-text"),
};

constexpr int kRetries = 3;

}  // namespace

const PageRow* pageFor(Page state, int retryCount)
{
    const PageVariant wanted = retryCount >= kRetries ? PageVariant::Final : PageVariant::Retrying;
    for (const PageRow& row : kPages) {
        if (row.state != state)
            continue;
        if (row.variant == PageVariant::Any || row.variant == wanted)
            return &row;
    }
    return nullptr;
}

const PageRow* pageRows(std::size_t* count)
{
    *count = sizeof kPages / sizeof kPages[0];
    return kPages;
}

bool isErrorPage(Page state)
{
    return state == Page::ConnectionLost || state == Page::UpdateFailed || state == Page::ReceiverConnectionLost ||
           state == Page::ReceiverUpdateFailed;
}

}  // namespace wizard
