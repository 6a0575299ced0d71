#pragma once
// A device manager reduced to what a device needs, with a real run-loop host thread.
// Free of GoogleTest, so the bench uses it too.

#include "core/Configuration.h"
#include "core/IDeviceManager.h"
#include "core/Producer.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace devio::test {

class HostManager : public IDeviceManager,
                    public Producer<IDeviceManager::ActiveChanged>,
                    public std::enable_shared_from_this<HostManager> {
public:
    static std::shared_ptr<HostManager> create()
    {
        auto m = std::make_shared<HostManager>();
        m->set_run_loop(std::weak_ptr<IRunLoopManager>(m));
        m->m_thread = std::thread([raw = m.get()] { raw->host(); });
        return m;
    }
    ~HostManager() override { shutdown(); }
    void shutdown()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_condition.notify_all();
        if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
            m_thread.join();
        std::deque<Entry> rest;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            rest.swap(m_queue);
        }
    }

    void post(std::function<bool()> callable, void* subscriber, void* producer, std::string name) override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stop)
                return;
            m_queue.push_back(Entry{std::move(callable), subscriber, producer, std::move(name)});
        }
        // Woken after the unlock: the host thread does not wake only to wait for this mutex.
        m_condition.notify_one();
    }
    void process() override {}
    std::size_t queued()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_queue.size();
    }
    // The handler names of the waiting tasks, in queue order.
    std::vector<std::string> queued_names()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<std::string> names;
        for (const auto& e : m_queue)
            names.push_back(e.name);
        return names;
    }
    void flush(void* subscriber, void* producer) override
    {
        // Released after the unlock: a dropped task may post again as it goes.
        std::deque<Entry> removed;
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto it = m_queue.begin(); it != m_queue.end();) {
            const bool all = !subscriber && !producer;
            if (all || (it->subscriber == subscriber && it->producer == producer)) {
                removed.push_back(std::move(*it));
                it = m_queue.erase(it);
            } else {
                ++it;
            }
        }
    }

    std::vector<std::shared_ptr<IDevice>> getDevices() override { return {}; }
    std::vector<std::shared_ptr<IDevice>> getChildDevices(std::shared_ptr<IDevice>) override { return {}; }
    void setSoftwareId(int id) override { m_software_id = static_cast<std::uint32_t>(id); }
    std::uint32_t getSoftwareId() override { return m_software_id; }
    bool is_active() override { return m_active; }
    void set_active(bool active) override
    {
        m_active = active;
        Producer<IDeviceManager::ActiveChanged>::notify([active](IDeviceManager::ActiveChanged* s) { s->onActiveChanged(active); },
                                                        "DeviceManager::ActiveChanged::onActiveChanged");
    }
    void reportError(const char* context) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_errors.push_back(context ? context : "");
    }
    void setCacheDirectory(std::string) override {}
    bool getDefaultConfig(ConfigItem, bool* value) override
    {
        *value = false;
        return true;
    }
    bool getConfig(ConfigItem item, bool* value) override
    {
        *value = m_config->get(item);
        return true;
    }
    bool setConfig(ConfigItem item, bool value) override
    {
        m_config->set(item, value);
        return true;
    }
    bool start() override { return true; }
    std::shared_ptr<IDevice> createDevice(std::shared_ptr<IHardwareDevice>, bool, std::uint32_t) override { return {}; }
    bool addBus(std::shared_ptr<IHardwareBus>) override { return true; }
    void removeBus(std::shared_ptr<IHardwareBus>) override {}

    std::shared_ptr<Configuration> config() { return m_config; }
    std::vector<std::string> errors()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_errors;
    }

private:
    struct Entry {
        std::function<bool()> callable;
        void* subscriber;
        void* producer;
        std::string name;
    };
    void host()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_condition.wait(lock, [&] { return m_stop || !m_queue.empty(); });
            if (m_stop)
                return;
            Entry e = std::move(m_queue.front());
            m_queue.pop_front();
            lock.unlock();
            e.callable();
            e = Entry{};
            lock.lock();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_condition;
    std::deque<Entry> m_queue;
    bool m_stop = false;
    std::thread m_thread;
    std::atomic<std::uint32_t> m_software_id{1};
    std::atomic<bool> m_active{true};
    std::shared_ptr<Configuration> m_config = std::make_shared<Configuration>();
    std::vector<std::string> m_errors;
};

} // namespace devio::test
