#pragma once
#include "features/Feature.h"
#include "features/Feature6501GestureTable.h"
#include "features/IFeature6501Gestures.h"

#include <map>
#include <mutex>
#include <set>

namespace devio {

class Feature6501Gestures : public FeatureClass<Feature6501Gestures, IFeature6501Gestures>,
                            public Producer<IFeature6501Gestures::GestureReport> {
public:
    using FeatureClass::FeatureClass;

    // Settings collected for one later commit.
    struct GestureBatch {
        std::map<std::uint32_t, bool> enabledValues;
        std::set<std::uint32_t> pendingEnables;
        std::map<std::uint32_t, bool> divertedValues;
        std::set<std::uint32_t> pendingPreparations;
        std::set<std::uint32_t> pendingDiverts;
        std::map<std::uint32_t, std::vector<Byte>> specValues;
        std::map<std::uint32_t, std::vector<Byte>> staticParamValues;
        std::map<std::uint32_t, std::vector<Byte>> paramValues;
        std::set<std::uint32_t> pendingParams;
    };

    bool GetTableEntry(std::uint32_t entryIndex, std::uint32_t* entry) override;
    bool GetGesture(std::uint32_t index, GestureRecord* record) override;
    bool GetGestureEnabled(std::uint32_t index, bool* enabled, std::uint32_t batch) override;
    bool SetGestureEnabled(std::uint32_t index, bool value, std::uint32_t batch) override;
    bool GetGestureDiverted(std::uint32_t index, bool* diverted, std::uint32_t batch) override;
    bool SetGestureDiverted(std::uint32_t index, bool value, std::uint32_t batch) override;
    bool GetSpecValue(std::uint32_t specIndex, std::vector<Byte>* value, std::uint32_t batch) override;
    bool GetParamStaticValue(std::uint32_t paramIndex, std::vector<Byte>* value, std::uint32_t batch) override;
    bool GetParamValue(std::uint32_t paramIndex, std::vector<Byte>* value, std::uint32_t batch) override;
    bool SetParamValue(std::uint32_t paramIndex, std::vector<Byte> value, std::uint32_t batch) override;
    std::uint32_t BeginBatch() override;
    bool LoadGesturesEnabled(std::uint32_t batch, std::vector<std::uint32_t> indices) override;
    bool LoadGesturesDiverted(std::uint32_t batch, std::vector<std::uint32_t> indices) override;
    bool LoadParamValues(std::uint32_t batch, std::vector<std::uint32_t> indices) override;
    bool LoadParamStaticValues(std::uint32_t batch, std::vector<std::uint32_t> indices) override;
    bool LoadParamValuesAgain(std::uint32_t batch, std::vector<std::uint32_t> indices) override;
    bool CommitBatch(std::uint32_t batch) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
    void on_unexpected_response(unsigned function, unsigned softwareId, const std::vector<Byte>& payload) override;

private:
    enum class Capability { Enable, Divert };
    // Reads the table until it holds gesture `target` or ends.
    bool load_to(std::uint32_t target);
    // Loads the table up to `index`; 57 beyond it, 58 without the capability. `bit` gets its bit.
    bool capable(std::uint32_t index, Capability capability, std::uint32_t* bit);
    // Runs `fn` on the open batch `batch` under the lock; 60 when it is not open.
    template <class Fn>
    bool with_batch(std::uint32_t batch, Fn fn);
    bool read_bit(std::uint32_t index, Capability capability, bool* value, std::uint32_t batch);
    bool write_bit(std::uint32_t index, bool value, Capability capability);
    bool read_value(std::uint32_t function, std::uint32_t index, std::vector<Byte>* value, std::uint32_t batch);
    bool write_param(std::uint32_t paramIndex, const std::vector<Byte>& value);
    bool prepare(std::uint32_t index);
    bool load_each(std::uint32_t batch, const std::vector<std::uint32_t>& indices,
                   bool (Feature6501Gestures::*read)(std::uint32_t, std::uint32_t));
    bool load_enabled(std::uint32_t index, std::uint32_t batch);
    bool load_diverted(std::uint32_t index, std::uint32_t batch);
    bool load_param(std::uint32_t index, std::uint32_t batch);
    bool load_static_param(std::uint32_t index, std::uint32_t batch);
    void publish(const Feature6501GestureTable::Notice& notice);

    // Guards the table and the batches; never held across a request.
    std::mutex m_mutex;
    Feature6501GestureTable m_table;
    std::uint32_t m_batch_counter = 0;
    std::map<std::uint32_t, GestureBatch> m_batches;
};

} // namespace devio
