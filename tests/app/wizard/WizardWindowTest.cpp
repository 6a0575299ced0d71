// The window itself: geometry, title buttons, keys, dragging, translations and the page table.
#include "TitleButtons.h"
#include "WizardPages.h"
#include "WizardRig.h"

#include <QLocale>
#include <QMouseEvent>
#include <QTextDocument>
#include <QTranslator>

#include <set>

namespace {

// Every key the wizard looks up.
std::vector<const char*> allKeys()
{
    std::set<std::string> keys = {"default-keyboard-name", "default-mouse-name", "dfu-progress-label",
                                  "retry-timer-header", "second-text", "seconds-text"};
    std::size_t count = 0;
    const wizard::PageRow* rows = wizard::pageRows(&count);
    for (std::size_t i = 0; i < count; ++i) {
        for (const char* key : {rows[i].keyboardHeader, rows[i].mouseHeader, rows[i].text, rows[i].leftButton,
                                rows[i].rightButton})
            if (key)
                keys.insert(key);
    }
    static std::vector<std::string> stored;
    stored.assign(keys.begin(), keys.end());
    std::vector<const char*> out;
    for (const auto& k : stored)
        out.push_back(k.c_str());
    return out;
}

}  // namespace

TEST(WizardTranslations, EveryKeyInBothLanguages)
{
    const auto keys = allKeys();
    EXPECT_EQ(keys.size(), 62u);
    for (const char* language : {"en", "de"}) {
        SCOPED_TRACE(language);
        QTranslator translator;
        ASSERT_TRUE(loadWizardTranslator(translator, {QString::fromLatin1(language)}));
        for (const char* key : keys) {
            SCOPED_TRACE(key);
            const QString text = translator.translate("MainWidget", key);
            EXPECT_FALSE(text.isEmpty());
            EXPECT_NE(text, QString::fromLatin1(key));
        }
        // Placeholders survive translation where the wizard fills them.
        EXPECT_EQ(translator.translate("MainWidget", "turn-device-off-and-on-text").count("%1"), 2);
        EXPECT_TRUE(translator.translate("MainWidget", "retry-timer-header").contains("%2"));
    }
}

TEST(WizardTranslations, LanguageChoice)
{
    struct Row {
        const char* name;
        QStringList languages;
        const char* continueText;
    };
    const Row rows[] = {
        {"German", {"de-DE"}, "WEITER"},
        {"German after an unknown one", {"fr-FR", "de-AT"}, "WEITER"},
        {"English", {"en-GB"}, "CONTINUE"},
        {"fallback to English", {"fr-FR", "ja"}, "CONTINUE"},
        {"no languages", {}, "CONTINUE"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        QTranslator translator;
        ASSERT_TRUE(loadWizardTranslator(translator, r.languages));
        EXPECT_EQ(translator.translate("MainWidget", "continue-button"), QString::fromUtf8(r.continueText));
    }
}

TEST_F(WizardTest, WindowSpeaksTheLocalesLanguage)
{
    {
        rig::LocaleScope german(QLocale(QLocale::German, QLocale::Germany));
        make();
        EXPECT_EQ(left()->text(), "WEITER");
        EXPECT_TRUE(text().contains("Tarnwick-Produkte"));
        w.reset();
    }
    {
        rig::LocaleScope french(QLocale(QLocale::French, QLocale::France));
        make();
        EXPECT_EQ(left()->text(), "CONTINUE");
    }
}

TEST_F(WizardTest, GeometryAndTitleButtons)
{
    make();
    EXPECT_EQ(w->size(), QSize(1000, 680));
    EXPECT_EQ(w->minimumSize(), w->maximumSize());
    EXPECT_TRUE(w->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(label("picture")->geometry(), QRect(105, 238, 124, 124));
    EXPECT_EQ(label("badge")->geometry(), QRect(179, 234, 58, 58));
    EXPECT_EQ(label("percentLabel")->geometry(), QRect(135, 275, 80, 50));
    EXPECT_EQ(label("header")->width(), 624);

    // The page colours re-install the title buttons many times: still one pair.
    arrive(0x10, makeDevice("Broken K", rig::kBrokenId, "0.0.0", 0x42));
    detect();
    press(right());  // missing image: the red failure page
    ASSERT_EQ(w->state(), 14);
    EXPECT_TRUE(installTitleButtons(w.get(), 1));
    EXPECT_FALSE(installTitleButtons(label("header"), 1));
    EXPECT_FALSE(installTitleButtons(nullptr, 1));
    const auto closes = w->findChildren<QPushButton*>("CloseButton");
    const auto minimises = w->findChildren<QPushButton*>("MinimizeButton");
    ASSERT_EQ(closes.size(), 1);
    ASSERT_EQ(minimises.size(), 1);
    QPushButton* close = closes[0];
    QPushButton* minimise = minimises[0];
    EXPECT_EQ(close->geometry().right() + 1, 1000 - 5);
    EXPECT_EQ(close->y(), 2);
    EXPECT_EQ(minimise->geometry().right() + 1, close->x());
    EXPECT_EQ(minimise->y(), 2);
    EXPECT_EQ(close->focusPolicy(), Qt::NoFocus);
    EXPECT_TRUE(close->text().isEmpty());  // drawn, not a symbol-font letter

    auto* glyph = qobject_cast<TitleButton*>(close);
    ASSERT_NE(glyph, nullptr);
    EXPECT_EQ(glyph->glyphColor(), QColor(47, 49, 50));
    installTitleButtons(w.get(), 2);
    EXPECT_EQ(glyph->glyphColor(), QColor(255, 41, 71));

    close->click();
    EXPECT_EQ(quits, 1);
    minimise->click();
    EXPECT_TRUE(w->isMinimized());
}

TEST_F(WizardTest, ReturnClicksTheFocusedVisibleButton)
{
    make();
    w->activateWindow();
    ASSERT_EQ(w->focusWidget(), left());
    QTest::keyClick(w.get(), Qt::Key_Space);
    QTest::keyClick(w.get(), Qt::Key_Escape);
    EXPECT_EQ(w->state(), 1);
    QTest::keyClick(w.get(), Qt::Key_Return);
    EXPECT_EQ(w->state(), 2);  // CONTINUE
    event(0, DFU_EVENT_ENUMERATION_COMPLETE);
    ASSERT_TRUE(waitState(4));
    // Page 12 shows no button; the focus child is the hidden left one, which must not quit.
    arrive(0x10, oldKeyboard());
    w->setState(5);
    ASSERT_EQ(w->state(), 7);
    press(right());
    ASSERT_EQ(w->state(), 12);
    QTest::keyClick(w.get(), Qt::Key_Enter);
    EXPECT_EQ(quits, 0);
    EXPECT_EQ(w->state(), 12);
}

TEST_F(WizardTest, DraggingTheWindowButNotFromAButton)
{
    make();
    w->move(100, 100);
    const QPoint start = w->pos();
    // A label is transparent to the mouse: the window gets the press and follows the move.
    QLabel* header = label("header");
    const QPoint inHeader = header->geometry().center();
    QMouseEvent press(QEvent::MouseButtonPress, inHeader, w->mapToGlobal(inHeader), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(w.get(), &press);
    const QPoint target = w->mapToGlobal(inHeader) + QPoint(30, 40);
    QMouseEvent move(QEvent::MouseMove, inHeader + QPoint(30, 40), target, Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(w.get(), &move);
    EXPECT_EQ(w->pos(), start + QPoint(30, 40));
    EXPECT_TRUE(header->testAttribute(Qt::WA_TransparentForMouseEvents));

    // A button keeps its presses and moves to itself.
    const QPoint before = w->pos();
    QPushButton* button = left();
    EXPECT_TRUE(button->testAttribute(Qt::WA_NoMousePropagation));
    QMouseEvent buttonPress(QEvent::MouseButtonPress, QPoint(5, 5), button->mapToGlobal(QPoint(5, 5)),
                            Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(button, &buttonPress);
    QMouseEvent buttonMove(QEvent::MouseMove, QPoint(60, 60), button->mapToGlobal(QPoint(60, 60)), Qt::NoButton,
                           Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(button, &buttonMove);
    EXPECT_EQ(w->pos(), before);
}

TEST_F(WizardTest, PageTableRowsNameResourcesThatExist)
{
    std::size_t count = 0;
    const wizard::PageRow* rows = wizard::pageRows(&count);
    for (std::size_t i = 0; i < count; ++i) {
        SCOPED_TRACE(static_cast<int>(rows[i].state));
        for (const char* picture : {rows[i].keyboardPicture, rows[i].mousePicture, rows[i].badge}) {
            if (!picture)
                continue;
            if (std::string(picture) == wizard::kAnimation)
                picture = ":/Images/loader.gif";
            EXPECT_FALSE(QPixmap(QString::fromLatin1(picture)).isNull()) << picture;
        }
    }
    EXPECT_FALSE(QPixmap(":/Images/settings.png").isNull());
    QMovie loader(":/Images/loader.gif");
    EXPECT_TRUE(loader.isValid());
    EXPECT_GT(loader.frameCount(), 1);
    for (const char* font : {":/Fonts/Lato-Bold.ttf", ":/Fonts/Lato-Regular.ttf"})
        EXPECT_GT(rig::resource(font).size(), 10000) << font;
    using wizard::Page;
    for (Page state : {Page::NextDevice, Page::StartUpdate, Page::NextReceiver, Page::StartReceiverUpdate,
                       Page::WaitForBootloader})
        EXPECT_EQ(wizard::pageFor(state, 0), nullptr) << static_cast<int>(state);
}

TEST_F(WizardTest, PagesWithoutTheirOwnKeepThePreviousOne)
{
    make();
    const QString welcome = header();
    w->buildPage(9);
    EXPECT_EQ(header(), welcome);
    EXPECT_FALSE(left()->isVisible());
    EXPECT_FALSE(right()->isVisible());
}

TEST_F(WizardTest, DeviceNameFallsBackToTheKindsWord)
{
    make();
    // Two devices and none current: the default word for the kind shown.
    arrive(0x10, makeDevice("Test Mouse A", rig::kMouseId, "1.0.0", 1, false));
    arrive(0x20, makeDevice("Test Mouse B", rig::kMouseId, "1.0.0", 2, false));
    w->buildPage(8);
    EXPECT_TRUE(text().contains("your keyboard."));
    api.devices.erase(0x20);
    event(0x20, DFU_EVENT_DEVICE_REMOVAL);
    w->buildPage(8);  // one device left: its own name and kind
    EXPECT_TRUE(text().contains("Test Mouse A"));
    EXPECT_EQ(header(), "PLEASE WAKE UP <br>YOUR MOUSE");
    api.devices.erase(0x10);  // unreadable now: the kind's word
    w->buildPage(8);
    EXPECT_TRUE(text().contains("your mouse."));
}

TEST_F(WizardTest, DeviceNameShownAsItIs)
{
    // The texts are rich text on every page, the name is the device's: no markup of it counts.
    make();
    arrive(0x10, makeDevice("Keys <b>Pro</b> & Co", rig::kKeyboardId, "12.01.0030", 1));
    for (const int page : {7, 10, 14}) {  // a name once, twice, inside paragraphs
        SCOPED_TRACE(page);
        w->buildPage(page);
        QTextDocument shown;
        shown.setHtml(text());
        EXPECT_TRUE(shown.toPlainText().contains("Keys <b>Pro</b> & Co")) << shown.toPlainText().toStdString();
    }
}
