#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace devio {

class IRequest;

// Feature 0x8080: per-key colours in sets chosen by a 16-bit selector, read page by page and
// written in batches of at most 14 four-byte records. Pages and batches of more than three
// records need a transport with 64-byte reports.
class IFeature8080PerKeyLighting : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x8080;
    static constexpr std::size_t kRecordsPerRequest = 14;

    struct PerKeyLightingInfo {
        std::uint16_t w0 = 0;
        std::uint16_t w1 = 0;
        std::uint16_t w2 = 0;
    };
    struct KeySetInfo {
        std::uint32_t count = 0;
        std::uint8_t b2 = 0;
        std::uint8_t b3 = 0;
        std::uint8_t b4 = 0;
    };
    struct KeyRecord {
        Byte keyId = 0;
        Byte red = 0;
        Byte green = 0;
        Byte blue = 0;
        bool operator==(const KeyRecord& o) const
        {
            return keyId == o.keyId && red == o.red && green == o.green && blue == o.blue;
        }
    };

    ~IFeature8080PerKeyLighting() override = default;
    virtual bool GetInfo(PerKeyLightingInfo& info) = 0;
    virtual bool GetKeySetInfo(std::uint16_t selector, KeySetInfo& info) = 0;
    virtual bool GetKeys(std::uint16_t selector, std::uint8_t option, std::vector<KeyRecord>& keys) = 0;
    virtual bool GetKeys(std::uint16_t selector, std::vector<KeyRecord>& keys) = 0;
    virtual bool SetKeyColors(std::uint16_t selector, std::vector<KeyRecord> records) = 0;
    virtual bool SetAllKeysToColor(std::uint16_t selector, Byte red, Byte green, Byte blue) = 0;
    virtual bool Flush(std::uint8_t persistence) = 0;
    virtual bool Flush() = 0;
    // Every batch is queued, the last first; the request follows the first batch and fails with
    // the code of the first batch that failed.
    virtual std::shared_ptr<IRequest> SetKeyColorsAsync(std::uint16_t selector, std::vector<KeyRecord> records) = 0;
    // A newer paint of the same set replaces one still queued.
    virtual std::shared_ptr<IRequest> SetAllKeysToColorAsync(std::uint16_t selector, Byte red, Byte green,
                                                             Byte blue) = 0;
    virtual std::shared_ptr<IRequest> FlushAsync(std::uint8_t persistence) = 0;
    virtual std::shared_ptr<IRequest> FlushAsync() = 0;
};

} // namespace devio
