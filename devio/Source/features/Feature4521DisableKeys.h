#pragma once
#include "features/Feature.h"
#include "features/FeatureHelpers.h"
#include "features/IFeature4521DisableKeys.h"

#include <array>

namespace devio {

class Feature4521DisableKeys : public FeatureClass<Feature4521DisableKeys, IFeature4521DisableKeys>,
                               public Producer<IFeature4521DisableKeys::SettingChange> {
public:
    using FeatureClass::FeatureClass;
    // The five flags of one write, first to fifth, each 1 or 0.
    using Record = std::array<Byte, 5>;

    // Key-flag byte: first flag in bit 4 down to the fifth in bit 0.
    static Byte encode_flags(const Record& flags);
    static Record decode_flags(Byte value);

    bool GetCapabilities(bool* first, bool* second, bool* third, bool* fourth, bool* fifth) override;
    bool GetDisabledKeys(bool* first, bool* second, bool* third, bool* fourth, bool* fifth) override;
    bool SetDisabledKeys(bool first, bool second, bool third, bool fourth, bool fifth) override;

    // Records kept for the next re-apply, oldest first.
    std::vector<Record> pending() const { return m_pending.records(); }

protected:
    // Sends the kept records directly: a re-applied write is never kept a second time.
    bool on_reapply() override;
    void on_unexpected_response(unsigned function, unsigned softwareId, const std::vector<Byte>& payload) override;

private:
    bool read_flags(std::uint32_t function, std::uint32_t kind, bool* out[5]);
    bool send_record(const Record& record);

    PendingSettings<Record> m_pending;
};

} // namespace devio
