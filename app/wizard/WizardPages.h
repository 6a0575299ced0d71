// What each page of the wizard shows: one constant row per page, read by MainWidget::buildPage.
#pragma once

#include <cstddef>

namespace wizard {

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
    int state;
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

// The row for a state; nullptr for the states without a page of their own (5, 9, 15, 17, 22).
const PageRow* pageFor(int state, int retryCount);

// Every row, for tests that walk the table.
const PageRow* pageRows(std::size_t* count);

// States drawn in the error colours.
bool isErrorPage(int state);

}  // namespace wizard
