#include "DeviceTestSupport.h"

#include "core/ErrorRecord.h"
#include "device/CombinerBus.h"
#include "device/CombinerDevice.h"

using namespace devio;
using namespace devio::test;

namespace {

class FakeCollection : public IHardwareDevice,
                       public Producer<IHardwareDevice::Connect>,
                       public Producer<IHardwareDevice::FastDisconnect>,
                       public Producer<IHardwareDevice::Read>,
                       public Producer<IHardwareDevice::Write> {
public:
    FakeCollection(std::string path, std::string parent, std::uint32_t usage, std::uint32_t kind, std::uint32_t maxLength)
        : m_path(std::move(path)), m_parent(std::move(parent)), m_usage(usage), m_kind(kind), m_max(maxLength)
    {
    }
    bool isConnected() override { return true; }
    bool open() override { return true; }
    void close() override {}
    bool write(std::vector<Byte> report, bool) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_writes.push_back(report);
        return true;
    }
    std::shared_ptr<IHardwareBus> getBus() override { return nullptr; }
    std::string getPath() override { return m_path; }
    std::uint16_t getProductId() override { return 0x4001; }
    std::string getName() override { return "kb"; }
    std::shared_ptr<IDataRequest<std::string>> nameRequest() override { return make_data_success(std::string("kb")); }
    std::uint32_t getTransportType() override { return 0; }
    std::uint32_t getSubIndex() override { return 0; }
    std::string getParentId() override { return m_parent; }
    std::uint32_t getUsage() override { return m_usage; }
    std::uint32_t getProtocolKind() override { return m_kind; }
    std::uint32_t getMaxReportLength() override { return m_max; }

    void read(const std::vector<Byte>& report)
    {
        Producer<IHardwareDevice::Read>::notify([report](IHardwareDevice::Read* s) { s->onRead(report, false, 0, 0); },
                                                "test");
    }
    std::size_t writes()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_writes.size();
    }

private:
    std::string m_path, m_parent;
    std::uint32_t m_usage, m_kind, m_max;
    std::mutex m_mutex;
    std::vector<std::vector<Byte>> m_writes;
};

class FakeBus : public IHardwareBus, public Producer<IHardwareBus::PlugUnplug> {
public:
    std::vector<std::shared_ptr<IHardwareDevice>> enumerate() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_present;
    }
    void plug(std::shared_ptr<IHardwareDevice> d)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_present.push_back(d);
        }
        Producer<IHardwareBus::PlugUnplug>::notify([d](IHardwareBus::PlugUnplug* s) { s->onPlug(d); }, "test");
    }
    void unplug(std::shared_ptr<IHardwareDevice> d)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_present.erase(std::remove(m_present.begin(), m_present.end(), d), m_present.end());
        }
        Producer<IHardwareBus::PlugUnplug>::notify([d](IHardwareBus::PlugUnplug* s) { s->onUnplug(d); }, "test");
    }

private:
    std::mutex m_mutex;
    std::vector<std::shared_ptr<IHardwareDevice>> m_present;
};

class PlugLog : public Subscriber<IHardwareBus::PlugUnplug>, public Subscriber<IHardwareDevice::Read> {
public:
    void onPlug(std::shared_ptr<IHardwareDevice> d) override { add("plug " + d->getPath(), d); }
    void onUnplug(std::shared_ptr<IHardwareDevice> d) override { add("unplug " + d->getPath(), d); }
    void onRead(std::vector<Byte> report, bool, unsigned, unsigned) override { add("read " + std::to_string(report.size()), nullptr); }
    bool wait_count(std::size_t n)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_condition.wait_for(lock, 10s, [&] { return m_events.size() >= n; });
    }
    std::vector<std::string> events()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }
    std::shared_ptr<IHardwareDevice> last;

private:
    void add(const std::string& e, std::shared_ptr<IHardwareDevice> d)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back(e);
        if (d)
            last = d;
        m_condition.notify_all();
    }
    std::mutex m_mutex;
    std::condition_variable m_condition;
    std::vector<std::string> m_events;
};

} // namespace

TEST(Combiner, CollectionsOfOneDeviceBecomeOneWhenComplete)
{
    auto manager = HostManager::create();
    auto child = std::make_shared<FakeBus>();
    child->set_run_loop(std::weak_ptr<IRunLoopManager>(manager));
    auto bus = CombinerBus::create(manager, child);
    PlugLog log;
    ASSERT_TRUE(log.Subscriber<IHardwareBus::PlugUnplug>::subscribe(std::shared_ptr<IHardwareBus>(bus), 1, "test"));

    auto shortReports = std::make_shared<FakeCollection>("kb-1", "usb-kb", 1, 3, 7);
    auto longReports = std::make_shared<FakeCollection>("kb-2", "usb-kb", 2, 3, 20);
    auto whole = std::make_shared<FakeCollection>("mouse", "usb-mouse", 2, 2, 20);

    child->plug(whole);  // needs no partner: passes through
    ASSERT_TRUE(log.wait_count(1));
    child->plug(shortReports);
    child->plug(longReports);
    ASSERT_TRUE(log.wait_count(2));
    EXPECT_EQ(log.events(), (std::vector<std::string>{"plug mouse", "plug usb-kb"}));
    auto combined = std::dynamic_pointer_cast<CombinerDevice>(log.last);
    ASSERT_TRUE(combined);
    std::vector<std::string> paths;
    combined->appendPaths(paths);
    EXPECT_EQ(paths, (std::vector<std::string>{"kb-1", "kb-2"}));

    // Writes by length; too long for every member: error 25.
    EXPECT_TRUE(combined->write(std::vector<Byte>(7, 0x10), true));
    EXPECT_TRUE(combined->write(std::vector<Byte>(20, 0x11), true));
    EXPECT_EQ(shortReports->writes(), 1u);
    EXPECT_EQ(longReports->writes(), 1u);
    EXPECT_FALSE(combined->write(std::vector<Byte>(21, 0x11), true));
    EXPECT_EQ(last_error().code, 25u);

    // Reads of every member reach the combined device's subscribers.
    ASSERT_TRUE(log.Subscriber<IHardwareDevice::Read>::subscribe(std::shared_ptr<IHardwareDevice>(combined), 1, "test"));
    longReports->read(std::vector<Byte>(20, 0));
    shortReports->read(std::vector<Byte>(7, 0));
    ASSERT_TRUE(log.wait_count(4));

    child->unplug(shortReports);
    ASSERT_TRUE(log.wait_count(6));
    EXPECT_EQ(log.events()[4], "unplug kb-1");
    EXPECT_EQ(log.events()[5], "unplug usb-kb");
    EXPECT_EQ(bus->enumerate().size(), 1u);  // the mouse
    child->unplug(longReports);
    ASSERT_TRUE(log.wait_count(7));
    EXPECT_EQ(log.events().size(), 7u);  // no second announcement of the combined device
    log.Subscriber<IHardwareDevice::Read>::unsubscribe(std::shared_ptr<IHardwareDevice>(combined));
    log.Subscriber<IHardwareBus::PlugUnplug>::unsubscribe(std::shared_ptr<IHardwareBus>(bus));
    manager->shutdown();
}
