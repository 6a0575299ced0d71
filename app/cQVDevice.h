// A receiver (or receiver bootloader) of the QV engine as a cDFUDevice.
#pragma once

#include "QVEngine.h"
#include "cDFUDevice.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class cQVDevice : public cDFUDevice {
public:
    cQVDevice(std::int64_t engineHandle, std::shared_ptr<IQVEngine> engine);

    int getInfo(DFU_DEVICE_INFO* out) override;
    int getEntry(int index, DFU_DEVICE_ENTRY* out) override;
    int startReceiverUpdate(const char* image, int length, const char* signature, int signatureLength) override;

    std::int64_t engineHandle() const { return m_handle; }
    // Whether an update this adapter started is still running (set before the engine is
    // asked, cleared by the provider at the update's end).
    bool updateRunning() const { return m_updateRunning.load(); }
    void setUpdateRunning(bool running) { m_updateRunning.store(running); }

    // "%s_%03x_%03x_%05x" (prefix cut to 3 characters) or "BL_%03x_%03x". A piece that is not
    // hexadecimal reads 0; any other count of pieces is refused and `out` left alone.
    static bool parseVersionText(const WCHAR* text, DFU_DEVICE_ENTRY* out);
    // A new file in the temporary folder holding the buffer; `path` gets 260 wide characters.
    static bool writeTempFile(const char* buffer, int length, WCHAR* path);

private:
    const std::int64_t m_handle;
    const std::shared_ptr<IQVEngine> m_engine;
    DFU_DEVICE_INFO m_info{};   // filled once, at construction
    std::atomic<bool> m_updateRunning{false};
};
