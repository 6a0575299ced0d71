// A wizard window on the fake DFU API with a catalogue of its own, and helpers to drive it.
#pragma once

#include "FakeDfuApi.h"
#include "MainWidget.h"

#include "core/Timing.h"
#include "startup/ProcessEnd.h"

#include <QApplication>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

// Readable failure messages for the Qt values the tests compare.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QRect& r, std::ostream* out)
{
    *out << r.width() << "x" << r.height() << " at (" << r.x() << ", " << r.y() << ")";
}

namespace rig {

// Images are resources that exist (the pictures) or do not (":/missing...").
constexpr std::uint32_t kKeyboardId = 0x4001;
constexpr std::uint32_t kKeyboardBtId = 0xB001;
constexpr std::uint32_t kMouseId = 0x4002;
constexpr std::uint32_t kBrokenId = 0x4003;
constexpr std::uint32_t kReceiverId = 0xC510;
constexpr std::uint32_t kReceiverBootId = 0xAA10;
constexpr std::uint32_t kBrokenReceiverId = 0xC520;

inline const DeviceFirmwareEntry kDeviceRows[] = {
    {"Test Keys", kKeyboardId, kKeyboardBtId, 1, 2, {"K", 0x12, 0x01, 0x33}, ":/Images/one.png", ""},
    {"Test Mouse", kMouseId, 0, 0, 3, {"M", 0x15, 0x02, 0x09}, ":/Images/tick.png", ":/Images/crossRed.png"},
    {"Broken", kBrokenId, 0, 0, 2, {"B", 0x01, 0x00, 0x00}, ":/missing.dfu", ""},
};
inline const ReceiverFirmwareEntry kReceiverRows[] = {
    {kReceiverId, kReceiverBootId, {"R", 0x12, 0x03, 0x07}, {"BL", 0x01, 0x01, 0}, ":/Images/one.png", ""},
    {kReceiverId, kReceiverBootId, {"R", 0x12, 0x03, 0x07}, {"BL", 0x01, 0x02, 0}, ":/Images/tick.png",
     ":/Images/crossRed.png"},
    {kBrokenReceiverId, 0xAA20, {"R", 0x24, 0x01, 0x12}, {"BL", 0x01, 0x01, 0}, ":/missing.hex", ""},
};
inline WizardCatalogue catalogue()
{
    return WizardCatalogue{kDeviceRows, 3, kReceiverRows, 3};
}

inline QByteArray resource(const char* path)
{
    QFile f(QString::fromLatin1(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The window picks its language from the default locale when it is made.
class LocaleScope {
public:
    explicit LocaleScope(const QLocale& locale) : m_saved(QLocale()) { QLocale::setDefault(locale); }
    ~LocaleScope() { QLocale::setDefault(m_saved); }

private:
    QLocale m_saved;
};

}  // namespace rig

class WizardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        devio::Timing::setScale(1, 50);
        setQuitHook([this] { ++quits; });
    }
    void TearDown() override
    {
        w.reset();
        setQuitHook(nullptr);
        devio::Timing::reset();
    }

    void make()
    {
        w = std::make_unique<MainWidget>(api, rig::catalogue());
        w->setState(1);
        w->show();
    }
    // Waits until an update start, which runs on a thread of its own, has entered its result.
    bool settle() { return QTest::qWaitFor([&] { return !w->updateStarting(); }, 5000); }
    void press(QPushButton* button)
    {
        button->click();
        ASSERT_TRUE(settle());
    }
    void event(DFU_DEVICE device, DFU_EVENTTYPE e, int param = 0)
    {
        w->onDfuEvent(device, e, param);
        ASSERT_TRUE(settle());
    }
    void arrive(DFU_DEVICE device, const FakeDevice& d)
    {
        api.devices[device] = d;
        event(device, DFU_EVENT_DEVICE_ARRIVAL);
    }
    void leave(DFU_DEVICE device)
    {
        api.devices.erase(device);
        event(device, DFU_EVENT_DEVICE_REMOVAL);
    }
    // Welcome -> detecting -> the first decision, with the enumeration done before the timer.
    void detect()
    {
        ASSERT_EQ(w->state(), 1);
        press(left());
        ASSERT_EQ(w->state(), 2);
        event(0, DFU_EVENT_ENUMERATION_COMPLETE);
        ASSERT_TRUE(QTest::qWaitFor([&] { return w->state() != 2; }, 5000));
    }
    bool waitState(int state, int ms = 5000)
    {
        return QTest::qWaitFor([&] { return w->state() == state; }, ms);
    }

    QLabel* label(const char* name) const { return w->findChild<QLabel*>(QString::fromLatin1(name)); }
    QPushButton* button(const char* name) const { return w->findChild<QPushButton*>(QString::fromLatin1(name)); }
    QPushButton* left() const { return button("leftButton"); }
    QPushButton* right() const { return button("rightButton"); }
    QString header() const { return label("header")->text(); }
    QString text() const { return label("text")->text(); }

    FakeDfuApi api;
    std::unique_ptr<MainWidget> w;
    int quits = 0;
};

// Devices of the rig: keyboard needing an update, mouse up to date, receiver needing one.
inline FakeDevice oldKeyboard(std::uint32_t unit = 0x1111)
{
    return makeDevice("Test Keys K1", rig::kKeyboardId, "12.01.0030", unit);
}
inline FakeDevice currentMouse(std::uint32_t unit = 0x2222)
{
    return makeDevice("Test Mouse M1", rig::kMouseId, "15.02.0009", unit);
}
inline FakeDevice oldReceiver(std::uint16_t bootloaderRevision = 0x02)
{
    FakeDevice d = makeDevice("", rig::kReceiverId, "12.2.7", 0, true, false, DFU_CONNECTION_USB);
    d.info.entityCount = 2;
    d.entries = {makeEntry("RQR", 0x1202, 7), makeEntry("BL", bootloaderRevision, 0x34)};
    return d;
}
