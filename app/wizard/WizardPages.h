// What each page of the wizard shows: one constant row per page, read by MainWidget::buildPage.
#pragma once

#include <cstddef>

namespace wizard {

// The wizard's states, numbered as the pages they show. The states marked "no page" decide or
// start something and move on; their page keeps what the previous one showed.
enum class Page : int {
    Welcome = 1,
    Detecting = 2,
    UnplugReceivers = 3,
    PlugReceivers = 4,
    NextDevice = 5,  // no page: picks the next keyboard or mouse
    UpToDate = 6,
    UpdateReady = 7,
    WakeUp = 8,
    StartUpdate = 9,  // no page: starts the device update
    TurnOffAndOn = 10,
    LowBattery = 11,
    Updating = 12,
    ConnectionLost = 13,
    UpdateFailed = 14,
    NextReceiver = 15,  // no page: decides on the receiver
    ReceiverUpdateReady = 16,
    StartReceiverUpdate = 17,  // no page: starts the receiver update
    UpdatingReceiver = 18,
    ReceiverConnectionLost = 19,
    ReceiverUpdateFailed = 20,
    UpdateSucceeded = 21,
    WaitForBootloader = 22,  // no page: waits for the device to return in its bootloader
    DeviceUpdated = 23,
    NoOtherDevices = 24,
    NothingFound = 25,  // a summary only: shown as PlugReceivers
};

// The picture label shows the loader animation instead of a file.
constexpr const char* kAnimation = "animation";

enum class TextArgument {
    None,
    DeviceName,  // every "%1" gets the device's name
    Computer,    // "%1" is the literal "PC"
};

enum class PageVariant {
    Any,
    Retrying,  // failure pages while automatic retries remain
    Final,     // failure pages after the last retry
};

enum class RightButton {
    Hidden,
    Shown,
    ShownDisabled,  // disabled, with the disabled style, until a receiver count allows it
};

struct PageRow {
    Page state;
    PageVariant variant;
    const char* keyboardHeader;  // the mouse header differs only on some pages
    const char* mouseHeader;
    bool headerCountdown;        // "%1" in the header starts at 10
    const char* text;
    TextArgument textArgument;
    const char* keyboardPicture;
    const char* mousePicture;
    const char* badge;           // nullptr: none
    const char* leftButton;      // translation key, nullptr: hidden
    const char* rightButton;     // translation key, nullptr: hidden
    RightButton rightMode;
    bool focusRight;             // the focus starts on the right button
    bool percentLabel;
};

// The row for a state; nullptr for the states without a page of their own.
const PageRow* pageFor(Page state, int retryCount);

// Every row, for tests that walk the table.
const PageRow* pageRows(std::size_t* count);

// States drawn in the error colours.
bool isErrorPage(Page state);

}  // namespace wizard
