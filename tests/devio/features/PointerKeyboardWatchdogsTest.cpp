// Decoders that once could block the thread delivering their device's reports, each under a
// watchdog: the thumbwheel's reporting change, and 0x6501 reports while its table loads.
#include "devio/device/DeviceTestSupport.h"
#include "support/Within.h"

#include "core/Subscriber.h"
#include "features/IFeature2150Thumbwheel.h"
#include "features/IFeature6501Gestures.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <optional>

using namespace devio;
using namespace devio::test;
using platform::sim::Bytes;
using quillon::test::within;

namespace {

Bytes reply_to(const Bytes& cmd, Bytes payload)
{
    Bytes r(cmd.begin(), cmd.begin() + 4);
    r[0] = 0x11;
    r.insert(r.end(), payload.begin(), payload.end());
    r.resize(20, 0);
    return r;
}

// Answers in place of the model, which stays silent meanwhile: every request at one feature index.
class IndexResponder {
public:
    using Answer = std::function<Bytes(const Bytes&)>;
    IndexResponder(platform::sim::SimProtocolDevice& model, Byte index, Answer answer)
        : m_model(model), m_index(index), m_answer(std::move(answer)), m_seen(model.write_count())
    {
        m_model.set_silent(true);
        m_thread = std::thread([this] {
            while (!m_stop) {
                if (!m_model.wait_for_writes(m_seen + 1, std::chrono::milliseconds(20)))
                    continue;
                const auto log = m_model.written();
                for (; m_seen < log.size(); ++m_seen)
                    if (log[m_seen].size() > 3 && log[m_seen][2] == m_index)
                        m_model.inject(m_answer(log[m_seen]));
            }
        });
    }
    ~IndexResponder()
    {
        m_stop = true;
        m_thread.join();
        m_model.set_silent(false);
    }

private:
    platform::sim::SimProtocolDevice& m_model;
    Byte m_index;
    Answer m_answer;
    std::size_t m_seen;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

platform::sim::SimProtocolConfig with_feature(std::uint16_t id, Byte& index)
{
    auto c = platform::sim::sim_keyboard_config();
    index = static_cast<Byte>(c.features.size());
    c.features.push_back({id, 0, 0});
    return c;
}

Byte other_software_id(Device& device) { return device.getSoftwareId() == 5 ? 6 : 5; }

struct ReportingLog : Subscriber<IFeature2150Thumbwheel::Event> {
    std::mutex mutex;
    std::condition_variable changed;
    std::optional<std::string> seen;
    void OnThumbwheelReportingChanged(unsigned sw, std::uint8_t mode, bool status0) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        seen = std::to_string(sw) + " " + std::to_string(mode) + " " + std::to_string(status0);
        changed.notify_all();
    }
    std::optional<std::string> wait()
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(10), [this] { return seen.has_value(); });
        return seen;
    }
};

TEST(PointerKeyboardWatchdogs, ThumbwheelReportingChangeRereadsOffTheReportThread)
{
    Byte index = 0;
    Rig rig(with_feature(0x2150, index));
    auto wheel = std::dynamic_pointer_cast<IFeature2150Thumbwheel>(rig.device->getFeatureSync(0x2150));
    ASSERT_TRUE(wheel);
    ReportingLog log;
    ASSERT_TRUE(log.subscribe(wheel, 1, "test"));
    // The model's status answer: reporting mode 0, status bit 0 set.
    const Byte sw = other_software_id(*rig.device);
    rig.model->inject({0x10, 0xFF, index, static_cast<Byte>(0x20 | sw), 0x01, 0x00, 0x00});
    const auto seen = within([&] { return log.wait(); }, "the thumbwheel's re-read");
    ASSERT_TRUE(seen);
    EXPECT_EQ(*seen, std::to_string(sw) + " 0 1");
    // The report thread is free: the next request is answered.
    std::uint8_t mode = 9;
    EXPECT_TRUE(within([&] { return wheel->GetThumbwheelStatus(&mode, nullptr, nullptr, nullptr); }, "a status read"));
    EXPECT_EQ(mode, 0);
}

TEST(PointerKeyboardWatchdogs, GestureReportsWhileTheTableLoads)
{
    Byte index = 0;
    Rig rig(with_feature(0x6501, index));
    auto gestures = std::dynamic_pointer_cast<IFeature6501Gestures>(rig.device->getFeatureSync(0x6501));
    ASSERT_TRUE(gestures);
    // 300 gestures, all divertable, with format entries 1 (index width) and 2 (field widths) in a template.
    Bytes stream{0x41, 0x01, 0x42, 0x02, 0x04, 0x02};
    for (int i = 0; i < 300; ++i) {
        stream.push_back(0x82);
        stream.push_back(static_cast<Byte>(0x14));
    }
    stream.push_back(0x01);
    auto responder = std::make_unique<IndexResponder>(*rig.model, index, [stream](const Bytes& c) {
        const unsigned function = c[3] >> 4;
        if (function == 0) {
            const std::size_t at = 2u * ((c[4] << 8) | c[5]);
            Bytes slice;
            for (std::size_t i = at; i < at + 16 && i < stream.size(); ++i)
                slice.push_back(stream[i]);
            return reply_to(c, slice);
        }
        if (function == 5)
            return reply_to(c, c[4] == 0 ? Bytes{0x08} : Bytes{0x08, 0x08});
        return reply_to(c, {});
    });
    const Byte sw = other_software_id(*rig.device);
    std::atomic<bool> stop{false};
    std::thread reports([&] {
        // A bounded burst of gesture reports and divert-bitmap reports.
        for (int i = 0; i < 400 && !stop; ++i) {
            rig.model->inject({0x11, 0xFF, index, 0x00, 0x13, 0x00, 0xFF, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
            rig.model->inject({0x11, 0xFF, index, static_cast<Byte>(0x40 | sw), 0x00, 0x01, 0x01, 0x01, 0, 0, 0, 0,
                               0, 0, 0, 0, 0, 0, 0, 0});
        }
    });
    EXPECT_TRUE(within([&] { return gestures->GetGesture(299, nullptr); }, "loading the gesture table"));
    // The model's own answers serve the rest (described values 0 and 1, the divert write).
    responder.reset();
    EXPECT_TRUE(within([&] { return gestures->SetGestureDiverted(150, true, 0); }, "a divert write"));
    stop = true;
    reports.join();
    IFeature6501Gestures::GestureRecord record;
    ASSERT_TRUE(gestures->GetGesture(299, &record));
    EXPECT_EQ(record.divertBit, 299u);
    EXPECT_EQ(record.specs.size(), 2u);
}

} // namespace
