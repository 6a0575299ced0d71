// The wizard on the real DFU API, provider and engine updates Bluetooth LE devices of the simulated
// machine from start to finish: the switch restarts the device into its bootloader (at an address
// of its own or at its own), the radio image goes first, the bootloader restarts and is found
// again, the main image follows, and the device comes back on its new firmware. Each test runs in
// a process of its own (the provider and the engine live once per process).
// The device models first: Qt's keyword macros (emit) would clash with their names.
#include "devices/SimBluetoothDevice.h"

#include "ApplicationManifest.h"
#include "DfuApi.h"
#include "FirmwareCatalogue.h"
#include "MainWidget.h"
#include "WizardRoad.h"
#include "startup/Lifecycle.h"
#include "startup/ProcessEnd.h"

#include "core/Timing.h"

#include <sim/Kernel.h>
#include <sim/Scenario.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace sim = platform::sim;

namespace {

std::string g_root;  // this process's machine, removed before the process ends

constexpr std::uint64_t kAddress = 0xA0B1C2D3E4F5ull;
constexpr std::uint64_t kBootloaderAddress = 0xA0B1C2D3E4F6ull;

std::string bleScenario()
{
    std::ifstream in(QUILLON_BLE_SCENARIO);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The BLE scenario with one attribute of its device taken out or given another value.
std::string withAttribute(std::string xml, const std::string& name, const std::string& value)
{
    const std::string key = " " + name + "=\"";
    const std::size_t at = xml.find(key);
    if (at == std::string::npos)
        return value.empty() ? xml : xml.replace(xml.find("product-string="), 0, name + "=\"" + value + "\" ");
    const std::size_t end = xml.find('"', at + key.size());
    return xml.replace(at, end + 1 - at, value.empty() ? std::string() : key + value + "\"");
}

const char* const kBleMouse = R"(
<scenario>
  <device kind="bt-radio" name="r1"/>
  <device kind="ble-mouse" name="ms" radio="r1" address="0x00C0FFEE0042" product="0xB010"
          product-string="Tarn Mouse Gale" serial="SN0042" bootloader-address="0x00C0FFEE0043"
          unit-id="0x5E6F7081" battery="60" switch="0x00C2" switch-delay-ms="300" latency-us="2000">
    <firmware type="0" name="MPM" number="0x1501" build="0x0007"/>
    <firmware type="1" name="BOT" number="0x0100" build="0x0003"/>
  </device>
</scenario>)";

class WizardBluetooth : public ::testing::Test, protected WizardRoad {
protected:
    void SetUp() override
    {
        // A quarter of the program's waits: the 15 s bound on a device's return becomes 3.75 s,
        // well beyond the restarts below even on a loaded machine.
        devio::Timing::setScale(1, 4);
        setQuitHook([this] { ++quits; });
    }

    void start(const std::string& xml, const QLocale& locale = QLocale(QLocale::English, QLocale::UnitedStates))
    {
        QLocale::setDefault(locale);  // the window takes its language when it is made
        scenario.emplace(sim::Scenario::from_text(xml));
        scenario->plug();
        widget = new MainWidget();  // lives until the process ends, as in the program
        QObject::connect(widget, &MainWidget::DfuEvent, widget,
                         [this](DFU_DEVICE device, DFU_EVENTTYPE event, int) {
                             if (event == DFU_EVENT_DEVICE_ARRIVAL)
                                 arrivals.push_back(device);
                             note();
                         },
                         Qt::QueuedConnection);
        DFU_Init(dfuEventCallback, widget);
        widget->setState(1);
        widget->show();
        shoot("page-01");
        left()->click();
        ASSERT_EQ(widget->state(), 2);
        shoot("page-02");
    }
    bool passed(int state) const { return std::find(road.begin(), road.end(), state) != road.end(); }
    sim::SimBluetoothDevice& device(const char* name)
    {
        return *std::static_pointer_cast<sim::SimBluetoothDevice>(scenario->device(name)->model);
    }
    // A picture of the page, by language, beside the window test's pictures.
    void shoot(const std::string& name) const
    {
        if (shots.empty())
            return;
        const QString folder = QStringLiteral(QUILLON_SCREENSHOT_DIR "/") + QString::fromStdString(shots);
        QDir().mkpath(folder);
        QCoreApplication::processEvents();
        widget->grab().save(folder + "/" + QString::fromStdString(name) + ".png");
    }
    // An adapter the wizard was told of that shows the device on the catalogue's version.
    bool updatedDeviceSeen(std::uint32_t productId, const FirmwareVersion& newest) const
    {
        for (DFU_DEVICE d : arrivals) {
            DFU_DEVICE_INFO info{};
            if (DFU_GetDeviceInfo(d, &info) == 0 && info.productId == productId && info.online && !info.inDfu &&
                isVersionUpToDate(info.version, newest))
                return true;
        }
        return false;
    }
    // The whole road from the offer on: UPDATE, the switch, both images, "device updated", the
    // summary.
    void walk(const char* readyHeader, const char* model, std::uint32_t productId, const FirmwareVersion& newest,
              bool slowRestart = true)
    {
        ASSERT_TRUE(reach(7)) << "states " << roadText();
        EXPECT_EQ(header(), readyHeader);
        shoot("page-07");
        right()->click();  // UPDATE
        // The device restarts into its bootloader: the wizard waits for it (no page of its own).
        if (reach(22, 5000))
            shoot("page-22");
        ASSERT_TRUE(reach(12)) << "states " << roadText();
        shoot("page-12");
        // Past the radio stack's quarter: the main image, after the bootloader was found again.
        if (QTest::qWaitFor(
                [&] {
                    note();
                    return widget->state() == 12 && percent() > 25;
                },
                60000))
            shoot("page-12-main-image");
        ASSERT_TRUE(reach(23, 120000)) << "states " << roadText();
        shoot("page-23");
        // 5 passes within one step, 9 while an update starts; 22 lasts until the bootloader is
        // found, long enough to be seen when the device takes its time to restart.
        std::vector<int> rests = road;
        rests.erase(std::remove(rests.begin(), rests.end(), 9), rests.end());
        if (!slowRestart)
            rests.erase(std::remove(rests.begin(), rests.end(), 22), rests.end());
        const std::vector<int> expected =
            slowRestart ? std::vector<int>{2, 7, 22, 12, 23} : std::vector<int>{2, 7, 12, 23};
        EXPECT_EQ(rests, expected) << "states " << roadText();

        sim::SimBluetoothDevice& d = device(model);
        EXPECT_EQ(d.model().dfu_completed(), 2u);  // the radio stack, then the main image
        ASSERT_TRUE(d.model().wait_for_mode(false, std::chrono::seconds(30)));
        const std::vector<sim::SimFirmwareEntity> firmware = d.model().firmware();
        ASSERT_FALSE(firmware.empty());
        EXPECT_EQ(firmware[0].number, newest.number << 8 | newest.revision);
        EXPECT_EQ(firmware[0].build, newest.build);
        // Back at its own address, and the provider reads the new version from it.
        EXPECT_EQ(d.address(), d.config().address);
        EXPECT_TRUE(QTest::qWaitFor([&] { return updatedDeviceSeen(productId, newest); }, 30000));

        left()->click();  // NEXT
        ASSERT_TRUE(reach(21)) << "states " << roadText();
        shoot("page-21");
    }
    int percent() const
    {
        QString text = widget->findChild<QLabel*>("percentLabel")->text();
        text.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
        return text.section(QLatin1Char('%'), 0, 0).trimmed().toInt();
    }

    std::optional<sim::Scenario> scenario;
    std::vector<DFU_DEVICE> arrivals;
    std::string shots;  // folder of the pictures under the screenshot folder; empty: none
    int quits = 0;
};

const FirmwareVersion& catalogueVersion(std::uint16_t bluetoothProductId)
{
    const auto& rows = deviceFirmwareTable();
    return matchDeviceOnArrival(rows.data(), rows.size(), bluetoothProductId)->version;
}

}  // namespace

TEST_F(WizardBluetooth, KeyboardUpdatedThroughItsBootloaderAtAnotherAddress)
{
    shots = "ble/en";
    start(withAttribute(bleScenario(), "switch-delay-ms", "1000"));
    walk("YOUR KEYBOARD <br>IS READY TO UPDATE", "kb", 0xB001, catalogueVersion(0xB001));
    EXPECT_EQ(quits, 0);
}

TEST_F(WizardBluetooth, KeyboardUpdatedThroughItsBootloaderAtItsOwnAddress)
{
    shots = "ble/de";
    start(withAttribute(withAttribute(bleScenario(), "bootloader-address", ""), "switch-delay-ms", "1000"),
          QLocale(QLocale::German, QLocale::Germany));
    walk("IHRE TASTATUR IST <br>BEREIT ZUR AKTUALISIERUNG", "kb", 0xB001, catalogueVersion(0xB001));
}

TEST_F(WizardBluetooth, KeyboardThatRestartsAtOnce)
{
    // Back in its bootloader before the host's one-second pause after the switch is over.
    start(withAttribute(bleScenario(), "switch-delay-ms", "20"));
    ASSERT_TRUE(reach(7)) << "states " << roadText();
    right()->click();
    ASSERT_TRUE(reach(23, 120000)) << "states " << roadText();
    EXPECT_EQ(device("kb").model().dfu_completed(), 2u);
}

TEST_F(WizardBluetooth, KeyboardBackOnlyAfterTheBoundIsUpdatedByTheRetry)
{
    // Its bootloader takes longer to come back than the wizard waits: the attempt fails with the
    // countdown, whose retry finds the bootloader and updates it.
    start(withAttribute(bleScenario(), "switch-delay-ms", "6000"));
    ASSERT_TRUE(reach(7)) << "states " << roadText();
    right()->click();
    ASSERT_TRUE(reach(14, 30000)) << "states " << roadText();
    ASSERT_FALSE(widget->findChild<QLabel*>("header")->text().isEmpty());
    ASSERT_TRUE(reach(23, 120000)) << "states " << roadText();
    EXPECT_EQ(device("kb").model().dfu_completed(), 2u);
    EXPECT_EQ(quits, 0);
}

TEST_F(WizardBluetooth, MouseUpdatedThroughItsBootloader)
{
    shots = "ble/en-mouse";
    start(kBleMouse);
    walk("YOUR MOUSE <br>IS READY TO UPDATE", "ms", 0xB010, catalogueVersion(0xB010), false);
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    char pattern[] = "/tmp/quillon-wizard-ble-XXXXXX";
    if (const char* made = ::mkdtemp(pattern)) {
        g_root = made;
        sim::set_machine_root(g_root);
    }
    // The program's manifest, as its entry declares it: without it the system reports a version
    // before Windows 10, and the provider leaves Bluetooth LE off.
    sim::declare_manifest(applicationManifest());
    QApplication app(argc, argv);
    const int result = RUN_ALL_TESTS();
    // The provider, the engine and their threads end with the process, as in the program.
    std::fflush(stdout);
    std::fflush(stderr);
    if (!g_root.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(g_root, ignored);
    }
    std::_Exit(result);
}
