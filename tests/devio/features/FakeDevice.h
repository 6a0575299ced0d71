#pragma once
#include "core/DataRequest.h"
#include "core/DeviceRequest.h"
#include "core/ErrorRecord.h"
#include "core/IDeviceRequestHost.h"
#include "device/IDevice.h"
#include "features/FeatureRegistry.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace devio::test {

// A protocol device reduced to bytes: every command is logged, and `answer` turns it into the
// reply report (nullopt: no reply, the request times out with code 4). Error replies are mapped
// by the real device request, so codes come out as the device would give them.
class FakeDevice : public IDevice, public IDeviceRequestHost, public std::enable_shared_from_this<FakeDevice> {
public:
    struct Sent {
        std::vector<Byte> command;
        std::uint32_t kind = 0;
        std::vector<unsigned> positions;
        bool merge = false;
        bool written = false; // through write(), no reply awaited
        MergeRule merge_rule;
    };

    std::function<std::optional<std::vector<Byte>>(const std::vector<Byte>&)> answer;
    // The failure of a request that `answer` leaves unanswered (4: time-out; 5: device refuses).
    ErrorCode unanswered_code = 4;
    // What getFeature finds for an id (empty: a Root over this device for 0x0000, code 28 otherwise).
    std::function<std::shared_ptr<IFeature>(std::uint32_t)> feature_lookup;
    std::uint32_t software_id = 3;
    bool write_ok = true;
    std::uint16_t product_id = 0xC52B;

    std::vector<Sent> log()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_log;
    }
    void clear_log()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_log.clear();
    }

    // The reply to `command` with the given payload bytes (header copied from the command).
    static std::vector<Byte> reply_to(const std::vector<Byte>& command, std::vector<Byte> payload)
    {
        std::vector<Byte> reply(command.begin(), command.begin() + 4);
        reply.insert(reply.end(), payload.begin(), payload.end());
        reply[0] = reply.size() > 7 ? 0x11 : 0x10;
        return reply;
    }

    // Answers scripted by a fuzzer's bytes: per request a byte `how` and a length, then that many
    // bytes (cut at the script's end); how % 3 is 0 for a reply framed on the request, 1 for the
    // bytes as the whole report, 2 for no answer. No answer once the script runs out.
    static std::function<std::optional<std::vector<Byte>>(const std::vector<Byte>&)>
    scripted_answers(std::vector<Byte> script)
    {
        auto at = std::make_shared<std::size_t>(0);
        return [script = std::move(script), at](const std::vector<Byte>& command) -> std::optional<std::vector<Byte>> {
            if (*at + 2 > script.size())
                return std::nullopt;
            const unsigned how = script[*at] % 3;
            const std::size_t length = std::min<std::size_t>(script[*at + 1], script.size() - *at - 2);
            const auto from = script.begin() + static_cast<std::ptrdiff_t>(*at + 2);
            std::vector<Byte> bytes(from, from + static_cast<std::ptrdiff_t>(length));
            *at += 2 + length;
            if (how == 2)
                return std::nullopt;
            if (how == 1)
                return bytes;
            return reply_to(command, bytes);
        };
    }

    // IDevice: what features use.
    std::uint32_t getSoftwareId() override { return software_id; }
    std::uint16_t getProductId() const override { return product_id; }
    std::shared_ptr<IDeviceRequest> send(std::vector<Byte> command, std::uint32_t kind,
                                         std::vector<unsigned> positions, MergeRule merge, std::int32_t) override
    {
        record(command, kind, positions, static_cast<bool>(merge), false, merge);
        auto request = std::make_shared<DeviceRequest>(weak_from_this(), command, kind, positions);
        complete(request, command);
        return request;
    }
    bool write(const std::vector<Byte>& bytes, bool) override
    {
        record(bytes, 0, {}, false, true);
        if (!write_ok)
            set_last_error(5, 0, nullptr);
        return write_ok;
    }
    bool execute(const std::vector<Byte>& command, std::vector<Byte>& reply, std::uint32_t kind,
                 std::vector<unsigned> positions) override
    {
        record(command, kind, positions, false, false);
        auto request = std::make_shared<DeviceRequest>(weak_from_this(), command, kind, positions);
        complete(request, command);
        if (!request->check_response())
            return false;
        reply = request->response();
        return true;
    }
    bool register_configured_feature(std::shared_ptr<IFeature>) override { return configured_result; }
    bool register_pending_feature(std::shared_ptr<IFeature>) override { return pending_result; }
    bool configured_result = true;
    bool pending_result = true;

    // IDeviceRequestHost: continuations run at once on the completing thread.
    void post_continuation(std::function<void(bool)> task) override { task(true); }
    void wait_for_work(const std::function<bool()>&) override {}
    bool run_pending_write() override { return false; }
    bool run_continuation() override { return false; }

    // The rest of IDevice is not used by features.
    void initDevice(std::shared_ptr<IDeviceManager>) override {}
    void close() override {}
    bool attach() override { return true; }
    bool is_unresponsive() const override { return false; }
    void set_parameters(std::uint32_t, std::uint32_t, std::uint32_t) override {}
    void set_response_timeout(std::uint32_t) override {}
    bool is_closed() const override { return false; }
    std::uint32_t getTransport() const override { return 0; }
    std::uint32_t getDeviceIndex() const override { return 0; }
    std::shared_ptr<IReceiver> getReceiver() const override { return {}; }
    std::string getPath() const override { return "fake"; }
    void getPaths(std::vector<std::string>& paths) const override { paths.push_back("fake"); }
    std::string getName() const override { return "fake"; }
    std::shared_ptr<IDataRequest<std::string>> nameRequest() override { return {}; }
    std::uint64_t forward_hardware_first(std::uintptr_t, std::uintptr_t, std::uintptr_t) override { return 0; }
    bool has_configured_features() override { return false; }
    bool has_config_requests() override { return false; }
    bool release_configuration() override { return true; }
    void invalidate(const char*) override {}
    std::weak_ptr<IDeviceManager> getManager() const override { return {}; }
    std::shared_ptr<IFeature> getFeatureSync(std::uint32_t) override { return {}; }
    std::shared_ptr<IDataRequest<std::shared_ptr<IFeature>>> getFeature(std::uint32_t id) override
    {
        auto found = feature_lookup ? feature_lookup(id) : id == 0 ? root() : nullptr;
        if (!found)
            return make_data_failure<std::shared_ptr<IFeature>>(28, nullptr, 0);
        return make_data_success<std::shared_ptr<IFeature>>(found);
    }
    std::shared_ptr<IFeature> getFeatureByIndexSync(std::uint32_t) override { return {}; }
    std::shared_ptr<IDataRequest<std::shared_ptr<IFeature>>> getFeatureByIndex(std::uint32_t) override { return {}; }
    std::uint32_t getFeatureCountSync() override { return 0; }
    std::shared_ptr<IDataRequest<std::uint32_t>> getFeatureCount() override { return {}; }
    std::vector<std::shared_ptr<IFeature>> discoverFeatures() override { return {}; }
    std::vector<std::shared_ptr<IFeature>> getFeatures() override { return {}; }
    void stop() override {}
    bool rediscover() override { return true; }
    std::uint64_t forward_hardware_second(std::uintptr_t, std::uintptr_t, std::uintptr_t) override { return 0; }
    void replay_connect() override {}
    std::shared_ptr<IRequest> after_fw_check(std::weak_ptr<void>) override { return {}; }

    // Without a lookup, getFeature(0x0000) hands out a Root over this device, made once.
    std::shared_ptr<IFeature> root()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_root)
            m_root = make_feature(0x0000, 0, weak_from_this());
        return m_root;
    }

private:
    void record(const std::vector<Byte>& command, std::uint32_t kind, const std::vector<unsigned>& positions,
                bool merge, bool written, MergeRule rule = nullptr)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_log.push_back(Sent{command, kind, positions, merge, written, std::move(rule)});
    }
    void complete(const std::shared_ptr<DeviceRequest>& request, const std::vector<Byte>& command)
    {
        std::optional<std::vector<Byte>> reply = answer ? answer(command) : std::nullopt;
        request->mark_sent();
        if (reply)
            request->set_response(*reply);
        else
            request->set_error(unanswered_code);
        request->mark_complete();
    }

    std::mutex m_mutex;
    std::vector<Sent> m_log;
    std::shared_ptr<IFeature> m_root;
};

// The parts of a logged command.
inline unsigned function_of(const std::vector<Byte>& command) { return command.size() > 3 ? command[3] >> 4 : 0; }
inline std::vector<Byte> params_of(const std::vector<Byte>& command)
{
    return command.size() > 4 ? std::vector<Byte>(command.begin() + 4, command.end()) : std::vector<Byte>{};
}

// The registered class of `id` on `dev`, cast to interface I (empty when it is not one).
template <class I>
std::shared_ptr<I> make(std::uint32_t id, std::uint8_t index, const std::shared_ptr<FakeDevice>& dev)
{
    return std::dynamic_pointer_cast<I>(make_feature(id, index, dev));
}
template <class I>
std::shared_ptr<I> make(std::uint32_t id, const std::shared_ptr<FakeDevice>& dev, std::uint8_t index = 9)
{
    return make<I>(id, index, dev);
}

} // namespace devio::test
