// Feature replies and notifications as a device may send them. The input picks a registered
// feature and what its bytes are: a notification, an unanswered response, or the replies to one
// of the feature's calls (each reply taken in turn from the input, until it runs out and the
// device falls silent).
//
// Input: [feature] [mode] [function/call] [software id] then the payload or the replies, each
// reply as [how, length] + bytes (how: 0 framed on the command, 1 the bytes as they stand,
// 2 silence).
#include "devio/features/FakeDevice.h"

#include "core/DataRequest.h"
#include "features/Feature.h"
#include "features/FeatureRegistry.h"
#include "features/IFeature0000Root.h"
#include "features/IFeature0001FeatureSet.h"
#include "features/IFeature0003FirmwareInfo.h"
#include "features/IFeature0005DeviceNameType.h"
#include "features/IFeature0007DeviceFriendlyName.h"
#include "features/IFeature0008SwitchAndKeepAlive.h"
#include "features/IFeature0020ConfigChange.h"
#include "features/IFeature0021CryptoIdentifier.h"
#include "features/IFeature00c0DFUControl.h"
#include "features/IFeature00c1DFUControl.h"
#include "features/IFeature00c2DFUControl.h"
#include "features/IFeature00d0DFU.h"
#include "features/IFeature1000BatteryUnifiedLevelStatus.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace devio;

namespace {

template <class I, class Call>
void as(const std::shared_ptr<IFeature>& feature, Call call)
{
    if (auto typed = std::dynamic_pointer_cast<I>(feature))
        call(*typed);
}

template <class T>
void settle(const std::shared_ptr<IDataRequest<T>>& request)
{
    T value{};
    if (request)
        request->get(value);
}

// Calls of the feature picked by `which`: every operation that reads a reply.
void call(const std::shared_ptr<IFeature>& f, unsigned which, const std::vector<Byte>& params)
{
    const Byte p0 = params.empty() ? 0 : params[0];
    std::uint32_t u32 = 0;
    std::uint16_t u16a = 0, u16b = 0, u16c = 0;
    std::uint8_t u8 = 0;
    std::string text;
    std::vector<Byte> bytes;
    bool b5 = false, b6 = false, b7 = false;
    as<IFeature0000Root>(f, [&](IFeature0000Root& x) {
        if (which % 3 == 0) x.TargetSw(&u8, &u32);
        else if (which % 3 == 1) x.Ping(p0, &u8, &u8, &u8);
        else settle(x.TargetSw());
    });
    as<IFeature0001FeatureSet>(f, [&](IFeature0001FeatureSet& x) {
        if (which % 2 == 0) x.GetCount(&u32);
        else x.GetFeatureId(p0, &u32, &b5, &b6, &b7, &u32);
    });
    as<IFeature0003FirmwareInfo>(f, [&](IFeature0003FirmwareInfo& x) {
        switch (which % 6) {
        case 0: settle(x.GetEntityCount(0)); break;
        case 1: settle(x.GetFwInfo(p0, 0)); break;
        case 2: settle(x.GetFwInfoString()); break;
        case 3: x.GetFwFormattedVersion(&text); break;
        case 4: x.GetModelId(&u32); break;
        default: x.GetExtendedModelId(&u32, 0); break;
        }
    });
    as<IFeature0005DeviceNameType>(f, [&](IFeature0005DeviceNameType& x) {
        switch (which % 4) {
        case 0: x.GetCount(&u32); break;
        case 1: x.GetName(&text); break;
        case 2: x.GetName(p0, &bytes); break;
        default: x.GetType(&u32); break;
        }
    });
    as<IFeature0007DeviceFriendlyName>(f, [&](IFeature0007DeviceFriendlyName& x) {
        switch (which % 4) {
        case 0: x.GetFriendlyName(&text); break;
        case 1: x.GetDefaultFriendlyName(&text); break;
        case 2: x.GetFriendlyName(p0, &bytes); break;
        default: x.SetFriendlyName(std::string(params.begin(), params.end())); break;
        }
    });
    as<IFeature0008SwitchAndKeepAlive>(f, [&](IFeature0008SwitchAndKeepAlive& x) {
        if (which % 2 == 0) x.GetInfo(&u16a, &u16b);
        else x.KeepAlive(p0, &u16a);
    });
    as<IFeature0020ConfigChange>(f, [&](IFeature0020ConfigChange& x) {
        if (which % 2 == 0) x.GetCookie(&u16a);
        else settle(x.GetCookie());
    });
    as<IFeature0021CryptoIdentifier>(f, [&](IFeature0021CryptoIdentifier& x) { x.GetIdentifier(&bytes); });
    as<IFeature00c0DFUControl>(f, [&](IFeature00c0DFUControl& x) { x.SetDfuControl(); });
    as<IFeature00c1DFUControl>(f, [&](IFeature00c1DFUControl& x) { x.GetDfuControl(&u32); });
    as<IFeature00c2DFUControl>(f, [&](IFeature00c2DFUControl& x) { x.GetDfuControl(&u8); });
    as<IFeature00d0DFU>(f, [&](IFeature00d0DFU& x) {
        if (which % 2 == 0) x.DfuStart(params, &u32, &bytes);
        else x.DfuCmdData(p0, params);
    });
    as<IFeature1000BatteryUnifiedLevelStatus>(f, [&](IFeature1000BatteryUnifiedLevelStatus& x) {
        x.GetBatteryLevelStatus(&u16a, &u16b, &u16c);
    });
    // Any feature: a plain exchange through the base.
    std::vector<Byte> reply(16);
    f->execute(which & 0x0F, params, reply, 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4)
        return 0;
    static const std::vector<std::int32_t> ids = [] {
        std::vector<std::int32_t> all;
        for (const auto& entry : FeatureRegistry::registered())
            all.push_back(entry.first);
        return all;
    }();
    if (ids.empty())
        return 0;
    const std::uint32_t featureId = static_cast<std::uint32_t>(ids[data[0] % ids.size()]);
    const unsigned mode = data[1] % 3;
    const unsigned function = data[2];
    const unsigned softwareId = data[3] & 0x0F;
    const std::vector<Byte> rest(data + 4, data + size);

    auto device = std::make_shared<test::FakeDevice>();
    auto feature = make_feature(featureId, 5, device);
    auto base = std::dynamic_pointer_cast<Feature>(feature);
    if (!base)
        return 0;
    if (mode == 0) {
        base->onFeatureReport(static_cast<int>(function & 0x0F), rest);
    } else if (mode == 1) {
        base->onUnexpectedResponse(function & 0x0F, softwareId, rest);
    } else {
        device->answer = test::FakeDevice::scripted_answers(rest);
        const std::vector<Byte> params(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(rest.size(), 3)));
        call(feature, function, params);
        device->answer = nullptr;
    }
    return 0;
}
