// The pages put their buttons in the same places, so the second click of a double-click lands on
// a button of the page that the first click opened. It must act only on the page it was aimed at:
// a double-click does what one click does.
#include "WizardRig.h"

#include <QKeyEvent>
#include <QWindow>

#include <functional>
#include <vector>

namespace {

constexpr DFU_DEVICE kKeyboard = 0x1000;
constexpr DFU_DEVICE kReceiver = 0x3000;

const QLocale kEnglish(QLocale::English, QLocale::UnitedStates);
const QLocale kGerman(QLocale::German, QLocale::Germany);

// What a click left behind.
struct Outcome {
    int state;
    int quits;
    std::size_t updates;
    std::size_t receiverUpdates;
    std::size_t devices;
    std::size_t receivers;
    QString header;
    bool operator==(const Outcome& o) const
    {
        return state == o.state && quits == o.quits && updates == o.updates && receiverUpdates == o.receiverUpdates &&
               devices == o.devices && receivers == o.receivers && header == o.header;
    }
};

void PrintTo(const Outcome& o, std::ostream* out)
{
    *out << "state " << o.state << ", " << o.quits << " quits, " << o.updates << " device and " << o.receiverUpdates
         << " receiver updates, " << o.devices << " devices and " << o.receivers << " receiver rows left, header \""
         << o.header.toStdString() << '"';
}

}  // namespace

class DoubleClick : public WizardTest {
protected:
    // Brings a new window to the page whose button is clicked.
    using Reach = std::function<void()>;

    void open(const Reach& reach)
    {
        api = FakeDfuApi();
        quits = 0;
        make();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        reach();
    }

    // Clicks (or double-clicks) the middle of the button through the window, as the platform
    // delivers a mouse: Qt turns the second press of a double-click into a double-click event.
    void click(QPoint at, bool twice)
    {
        QWindow* window = w->windowHandle();
        ASSERT_NE(window, nullptr);
        if (twice)
            QTest::mouseDClick(window, Qt::LeftButton, Qt::NoModifier, at);
        else
            QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, at);
        ASSERT_TRUE(settle());
    }

    Outcome outcome() const
    {
        return Outcome{w->state(), quits, api.updates.size(), api.receiverUpdates.size(), w->deviceCount(),
                       w->receiverEntryCount(), header()};
    }

    // A keyboard that needs an update, paired behind a receiver that needs one too.
    void keyboardAndReceiver()
    {
        arrive(kKeyboard, oldKeyboard());
        arrive(kReceiver, oldReceiver());
    }
};

TEST_F(DoubleClick, ActsOnlyOnThePageItWasAimedAt)
{
    struct Road {
        const char* name;
        Reach reach;
        bool right;  // the right button, else the left one
    };
    const std::vector<Road> roads = {
        {"welcome CONTINUE, then detecting CANCEL", [] {}, false},
        {"update ready DO NOT UPDATE, then receiver DO NOT UPDATE",
         [this] {
             keyboardAndReceiver();
             detect();
             ASSERT_EQ(w->state(), 7);
         },
         false},
        {"update ready DO NOT UPDATE, then summary CLOSE",
         [this] {
             arrive(kKeyboard, oldKeyboard());
             detect();
             ASSERT_EQ(w->state(), 7);
         },
         false},
        {"low battery CONTINUE, then receiver DO NOT UPDATE",
         [this] {
             keyboardAndReceiver();
             detect();
             api.updateResults = {DFU_ERR_LOW_BATTERY};
             press(right());
             ASSERT_EQ(w->state(), 11);
         },
         false},
        {"device updated NEXT, then receiver DO NOT UPDATE",
         [this] {
             keyboardAndReceiver();
             detect();
             press(right());
             event(kKeyboard, DFU_EVENT_STATUS, DFU_STATUS_SUCCEEDED);
             ASSERT_EQ(w->state(), 23);
         },
         false},
        {"keyboard connection lost CONTINUE, then receiver DO NOT UPDATE",
         [this] {
             keyboardAndReceiver();
             detect();
             press(right());
             event(kKeyboard, DFU_EVENT_STATUS, DFU_STATUS_FAILED);
             leave(kKeyboard);
             ASSERT_TRUE(waitState(13));
         },
         true},
        {"unplug receivers CONTINUE, then update ready UPDATE",
         [this] {
             keyboardAndReceiver();
             arrive(kReceiver + 1, oldReceiver());
             detect();
             ASSERT_EQ(w->state(), 3);
             leave(kReceiver + 1);
             ASSERT_TRUE(right()->isEnabled());
         },
         true},
        {"receiver update ready DO NOT UPDATE, then summary CLOSE",
         [this] {
             arrive(kReceiver, oldReceiver());
             detect();
             ASSERT_EQ(w->state(), 16);
         },
         false},
    };

    std::vector<bool> coveredSomewhere(roads.size(), false);
    for (const auto& [language, locale] : {std::pair{"English", kEnglish}, std::pair{"German", kGerman}}) {
        SCOPED_TRACE(language);
        rig::LocaleScope scope(locale);
        for (const Road& road : roads) {
            SCOPED_TRACE(road.name);
            open(road.reach);
            ASSERT_FALSE(HasFatalFailure());
            QPushButton* aimed = road.right ? right() : left();
            ASSERT_TRUE(aimed->isVisible());
            const int page = w->state();
            const QPoint at = aimed->mapTo(w.get(), aimed->rect().center());

            click(at, false);
            const Outcome once = outcome();
            ASSERT_NE(once.state, page);
            ASSERT_EQ(once.quits, 0);
            // Whether the next page has a button where the click was; in one language at least.
            bool covered = false;
            for (QPushButton* b : {left(), right()})
                covered = covered || (b->isVisible() && b->isEnabled() && b->geometry().contains(at));
            if (covered)
                coveredSomewhere[static_cast<std::size_t>(&road - roads.data())] = true;

            open(road.reach);
            ASSERT_FALSE(HasFatalFailure());
            click(at, true);
            EXPECT_EQ(outcome(), once);
        }
    }
    for (std::size_t i = 0; i < roads.size(); ++i)
        EXPECT_TRUE(coveredSomewhere[i]) << roads[i].name << ": no button of the next page where the click was";
}

// Return held down: its repeats come after the first press opened the next page, whose focused
// button would take them.
TEST_F(DoubleClick, HeldReturnActsOnce)
{
    open([] {});
    ASSERT_FALSE(HasFatalFailure());
    w->activateWindow();
    ASSERT_EQ(w->focusWidget(), left());  // CONTINUE
    QTest::keyPress(w.get(), Qt::Key_Return);
    ASSERT_EQ(w->state(), 2);
    ASSERT_EQ(w->focusWidget(), left());  // CANCEL
    for (int repeat = 0; repeat < 3; ++repeat) {
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"), true);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"), true);
        QApplication::sendEvent(w.get(), &release);
        QApplication::sendEvent(w.get(), &press);
    }
    QTest::keyRelease(w.get(), Qt::Key_Return);
    EXPECT_EQ(w->state(), 2);
    EXPECT_EQ(quits, 0);
}
