// The wizard: one frameless window refilled for each of its 24 states. It reaches devices only
// through the DFU API and learns of them through DfuEvent, emitted on any thread and handled on
// the UI thread.
#pragma once

#include "DfuApi.h"
#include "FirmwareCatalogue.h"
#include "IDfuApi.h"
#include "UpdateDecision.h"
#include "WizardPages.h"

#include <QLabel>
#include <QMovie>
#include <QPoint>
#include <QPushButton>
#include <QSpacerItem>
#include <QTimer>
#include <QTranslator>
#include <QWidget>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <thread>

// The catalogue rows the wizard matches devices against.
struct WizardCatalogue {
    const DeviceFirmwareEntry* devices;
    std::size_t deviceCount;
    const ReceiverFirmwareEntry* receivers;
    std::size_t receiverCount;
};
WizardCatalogue builtInCatalogue();

// Loads the catalogue for the first of `uiLanguages` that has one from ":/translations", else
// English. True when a catalogue was loaded.
bool loadWizardTranslator(QTranslator& translator, const QStringList& uiLanguages);

class MainWidget : public QWidget {
    Q_OBJECT
public:
    // On the process's DFU API and the built-in catalogue.
    MainWidget();
    explicit MainWidget(IDfuApi& api, const WizardCatalogue& catalogue = builtInCatalogue());
    ~MainWidget() override;

    void setState(int state);
    void setState(wizard::Page page) { setState(static_cast<int>(page)); }
    int state() const { return m_state; }
    void buildPage(int state);

    // Read-only views for the start-up and tests.
    DFU_DEVICE currentDevice() const { return m_currentDevice; }
    int retryCount() const { return m_retryCount; }
    std::size_t deviceCount() const { return m_devices.size(); }
    std::size_t receiverEntryCount() const { return m_receivers.size(); }
    bool updateStarting() const { return m_starting; }

signals:
    void DfuEvent(DFU_DEVICE device, DFU_EVENTTYPE event, int param);

public slots:
    void onDfuEvent(DFU_DEVICE device, DFU_EVENTTYPE event, int param);
    void onLeftButtonClicked();
    void onRightButtonClicked();

private slots:
    void onDetectTimeout();
    void onRetryTimeout();
    void onReturnTimeout();
    void onStartFinished();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    wizard::Page page() const { return static_cast<wizard::Page>(m_state); }

    // Window (MainWidget.cpp)
    void layoutWindow();
    void applyColours(bool error);
    void refreshRightButton();
    QString tr_(const char* key) const;
    QString deviceName();
    QString progressText(int percent) const;
    QString countdownText(int secondsLeft) const;

    // Decisions and actions (MainWidgetStates.cpp)
    void enterAction(wizard::Page page);
    wizard::DeviceFacts facts(DFU_DEVICE device);
    bool needsUpdate(DFU_DEVICE device, const FirmwareVersion& wanted);
    DFU_DEVICE pickNextDevice(bool sameUnitOnly);
    void dropOnlineDevices();
    void forgetDevice();
    void removeTrackedUnit();
    wizard::Page nextPage() const;
    void enterSummary();
    bool checkReceiver();
    void startDeviceUpdate(bool mainFirst);
    void startReceiverUpdate();
    void startInBackground(std::function<int()> start, std::function<void(int)> then);
    std::size_t distinctReceivers() const;
    DFU_DEVICE lowestReceiver() const;
    void openSupportPage();

    // Events (MainWidgetEvents.cpp)
    void onDeviceArrival(DFU_DEVICE device);
    void onDeviceRemoval(DFU_DEVICE device);
    void onDeviceConnected(DFU_DEVICE device);
    void onStatus(int status);
    void awaitReturn(DFU_DEVICE device);
    bool trackingFilters(const wizard::DeviceFacts& facts) const;

    IDfuApi& m_api;
    WizardCatalogue m_catalogue;

    // State of the run (UI thread only).
    int m_state = 0;
    DFU_DEVICE m_currentDevice = 0;
    std::uint32_t m_trackedProductId = 0;
    std::uint32_t m_trackedUnitId = 0;
    static constexpr int kCountdownSeconds = 10;
    static constexpr int kShownReceiver = 1;  // beside the catalogue's keyboard and mouse kinds
    int m_shownKind = 0;
    int m_retryCount = 0;
    int m_retryTicks = 0;
    int m_receiverRotation = 0;
    bool m_enumerationComplete = false;
    bool m_anyUpdateSucceeded = false;
    bool m_updateDeclined = false;
    bool m_upToDateSeen = false;
    bool m_failureAcknowledged = false;
    std::map<DFU_DEVICE, DeviceFirmwareEntry> m_devices;
    std::multimap<DFU_DEVICE, ReceiverFirmwareEntry> m_receivers;
    std::map<int, bool> m_updatedUnits;
    QTimer m_detectTimer;
    QTimer m_retryTimer;
    // A device that left to restart (into its bootloader, or after its radio image) must come
    // back within a bound, or the update fails; any new state ends the wait.
    QTimer m_returnTimer;

    // Starting an update blocks for as long as the device takes to answer, seconds for a slow one:
    // the call runs on a thread of its own while the window goes on drawing. Its result enters
    // the next state first; the DFU events that came meanwhile are held and follow in order, as
    // they would behind a blocking call.
    struct HeldEvent {
        DFU_DEVICE device;
        DFU_EVENTTYPE event;
        int param;
    };
    bool m_starting = false;
    std::thread m_startThread;
    int m_startResult = 0;  // written by the start thread, read after its join
    std::function<void(int)> m_startThen;
    std::deque<HeldEvent> m_heldEvents;

    // Widgets.
    QTranslator m_translator;
    QLabel* m_header = nullptr;
    QLabel* m_text = nullptr;
    QPushButton* m_leftButton = nullptr;
    QPushButton* m_rightButton = nullptr;
    QSpacerItem* m_buttonGap = nullptr;
    QLabel* m_picture = nullptr;
    QLabel* m_badge = nullptr;
    QLabel* m_percentLabel = nullptr;
    QMovie m_animation;
    QPoint m_pressPosition;

    // The pages put their buttons in the same places: the second click of a double-click whose
    // first click opened another page must not act on the page it opened.
    unsigned m_pageSerial = 0;   // counts the pages built
    unsigned m_pressedPage = 0;  // m_pageSerial at the last press on one of the two buttons
};
