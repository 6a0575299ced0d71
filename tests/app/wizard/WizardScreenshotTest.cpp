// Saves a picture of every page in the build tree and checks that each is the window's size,
// not blank, and on its colour scheme's background. Run under Xvfb when it is installed.
#include "WizardPages.h"
#include "WizardRig.h"

#include <QDir>
#include <QImage>

#include <set>

#ifndef QUILLON_SCREENSHOT_DIR
#define QUILLON_SCREENSHOT_DIR "screenshots"
#endif

namespace {

const QRgb kTeal = qRgb(0, 234, 204);
const QRgb kDark = qRgb(47, 49, 50);

}  // namespace

class Screenshots : public WizardTest {
protected:
    void shoot(const QString& name, bool error)
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
        QDir().mkpath(QStringLiteral(QUILLON_SCREENSHOT_DIR));
        EXPECT_TRUE(image.save(QStringLiteral(QUILLON_SCREENSHOT_DIR "/") + name + ".png"));
        ++shots;
    }
    int shots = 0;
};

TEST_F(Screenshots, EveryPage)
{
    devio::Timing::setScale(1, 200);
    make();
    arrive(0x10, oldKeyboard());
    std::size_t count = 0;
    const wizard::PageRow* rows = wizard::pageRows(&count);
    for (std::size_t i = 0; i < count; ++i) {
        if (rows[i].variant == wizard::PageVariant::Final)
            continue;
        w->buildPage(static_cast<int>(rows[i].state));
        shoot(QString::asprintf("page-%02d", static_cast<int>(rows[i].state)), wizard::isErrorPage(rows[i].state));
    }
    w->setState(5);
    ASSERT_EQ(w->state(), 7);

    // The final failure pages come after three automatic retries.
    right()->click();
    for (int attempt = 0; attempt < 4; ++attempt) {
        ASSERT_TRUE(waitState(12));
        event(0x10, DFU_EVENT_STATUS, DFU_STATUS_FAILED);
    }
    ASSERT_EQ(w->retryCount(), 3);
    shoot("page-14-final", true);
    right()->click();

    arrive(0x30, oldReceiver());
    w->setState(15);
    ASSERT_EQ(w->state(), 16);
    right()->click();
    for (int attempt = 0; attempt < 4; ++attempt) {
        ASSERT_TRUE(waitState(18));
        event(0x30, DFU_EVENT_STATUS, DFU_STATUS_FAILED);
    }
    ASSERT_EQ(w->state(), 20);
    shoot("page-20-final", true);
    EXPECT_EQ(shots, 21);
}
