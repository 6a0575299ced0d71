// Saves a picture of every page, in English and in German, in the build tree ("en/", "de/") and
// checks that each is the window's size, not blank, and on its colour scheme's background. Run
// under Xvfb when it is installed.
#include "PageTour.h"

#include <QDir>
#include <QImage>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#ifndef QUILLON_SCREENSHOT_DIR
#define QUILLON_SCREENSHOT_DIR "screenshots"
#endif

namespace {

const QRgb kTeal = qRgb(0, 234, 204);
const QRgb kDark = qRgb(47, 49, 50);

}  // namespace

class Screenshots : public PageTour {
protected:
    void shoot(const QString& folder, const QString& name, bool error)
    {
        SCOPED_TRACE(name.toStdString());
        QCoreApplication::processEvents();
        const QImage image = w->grab().toImage().convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(image.size(), QSize(1000, 680));
        std::set<QRgb> colours;
        for (int y = 0; y < image.height(); y += 3)
            for (int x = 0; x < image.width(); x += 3)
                colours.insert(image.pixel(x, y));
        EXPECT_GT(colours.size(), 8u) << "blank page";
        EXPECT_EQ(image.pixel(20, 660), error ? kDark : kTeal);
        EXPECT_EQ(image.pixel(980, 660), error ? kDark : kTeal);
        const QString path = QStringLiteral(QUILLON_SCREENSHOT_DIR "/") + folder;
        QDir().mkpath(path);
        EXPECT_TRUE(image.save(path + "/" + name + ".png"));
    }
};

namespace {

// Libraries of a GL driver mapped into this process (Mesa's or another vendor's).
std::vector<std::string> gl_drivers_loaded()
{
    std::vector<std::string> found;
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);)
        if (line.find("_dri.so") != std::string::npos || line.find("libGLX_") != std::string::npos)
            found.push_back(line.substr(line.find('/') == std::string::npos ? 0 : line.find('/')));
    return found;
}

}  // namespace

TEST_F(Screenshots, EveryPageInBothLanguages)
{
    const std::pair<const char*, QLocale> languages[] = {{"en", QLocale(QLocale::English, QLocale::UnitedStates)},
                                                         {"de", QLocale(QLocale::German, QLocale::Germany)}};
    for (const auto& [folder, locale] : languages) {
        SCOPED_TRACE(folder);
        int shots = 0;
        tour(locale, [&](const QString& name, wizard::Page page) {
            shoot(QString::fromLatin1(folder), name, wizard::isErrorPage(page));
            ++shots;
        });
        ASSERT_FALSE(HasFatalFailure());
        EXPECT_EQ(shots, 29);
        // The widest progress text in the loader's ring.
        w->setState(wizard::Page::UpdatingReceiver);
        event(0x30, DFU_EVENT_PROGRESS, 99);
        shoot(QString::fromLatin1(folder), QStringLiteral("page-18-at-99"), false);
        // Waiting for a Bluetooth LE device to come back in its bootloader: the ready page's
        // words beside the loader.
        {
            rig::LocaleScope language(locale);
            api = FakeDfuApi();
            make();
        }
        arrive(0x10, oldKeyboard());
        w->setState(wizard::Page::NextDevice);
        ASSERT_EQ(w->state(), 7);
        w->buildPage(static_cast<int>(wizard::Page::WaitForBootloader));
        shoot(QString::fromLatin1(folder), QStringLiteral("page-22-after-07"), false);

        // The retry countdown at its last second, when its header is shortest.
        rig::LocaleScope scope(locale);
        api = FakeDfuApi();
        make();
        arrive(0x10, oldKeyboard());
        w->setState(wizard::Page::NextDevice);
        ASSERT_EQ(w->state(), 7);
        devio::Timing::setScale(100, 1);  // the countdown is driven below, one tick at a time
        press(right());
        ASSERT_TRUE(waitState(12));
        event(0x10, DFU_EVENT_STATUS, DFU_STATUS_FAILED);
        ASSERT_EQ(w->state(), 14);
        for (int tick = 0; tick < 9; ++tick)
            ASSERT_TRUE(QMetaObject::invokeMethod(w.get(), "onRetryTimeout"));
        shoot(QString::fromLatin1(folder), QStringLiteral("page-14-at-1"), true);
        devio::Timing::setScale(1, 50);
    }
    // With the window on screen: no GL driver came with it, whatever drivers the machine has.
    const auto drivers = gl_drivers_loaded();
    EXPECT_TRUE(drivers.empty()) << drivers.front();
}
