// The engine's readers of the answers to its own requests: reply matching of the receiver
// transport, a paired device's generation, feature index, battery and version replies, and the
// register 0xF1 version of receivers and protocol 1.0 devices. Input: a request length, a match
// length, the request, then the answer bytes, which each reader takes in its own way.
#include "Device.h"
#include "TSLDevice.h"
#include "WirelessDevice.h"

#include <cstdlib>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using qv::CWirelessDevice;

void check(bool ok)
{
    if (!ok)
        std::abort();
}

bool battery_code(int code)
{
    return code == 0 || (code >= 2 && code <= 6);
}

void formats(const qv::VersionRecord& v)
{
    check(!qv::version_text(v).empty());
    check(!qv::bootloader_text(v).empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::size_t requestLength = std::min<std::size_t>(data[0] % 24, size - 2);
    const std::size_t matchLength = data[1] % 24;
    const Bytes request(data + 2, data + 2 + requestLength);
    const Bytes answer(data + 2 + requestLength, data + size);

    const std::optional<int> error = qv::CTSLDevice::match_reply(request, matchLength, answer.data(), answer.size());
    if (error)
        check((*error >= 0 && *error <= 0xFF) || *error == qv::kRawErrorReply);
    // Replies are matched from their sub-id on: an error reply is never taken for the answer.
    if (error && matchLength >= 1 && answer.size() >= 6 && answer[2] == 0x8F && request.size() >= 4 &&
        request[2] != 0x8F)
        check(*error != 0);

    for (int raw : {int{qv::kRawOk}, 1, int{qv::kRawErrorReply}}) {
        const int gen = CWirelessDevice::generation_of(raw, answer);
        check(gen >= CWirelessDevice::kUnknown && gen <= CWirelessDevice::kFeatures4x);
    }
    CWirelessDevice::feature_index_of(answer);
    const int feature = CWirelessDevice::battery_from_feature(answer);
    check(answer.size() < 3 ? feature == -1 : feature >= 2 && feature <= 0xFF + 4);
    if (answer.size() >= 3) {
        check(battery_code(CWirelessDevice::battery_from_0d((answer[0] << 16) | (answer[1] << 8) | answer[2])));
        check(battery_code(CWirelessDevice::battery_from_07(answer[0], answer[1])));
    }

    // Version entities, each a length byte and its reply.
    qv::VersionRecord v;
    bool found = false;
    for (std::size_t at = 0; at < answer.size();) {
        const std::size_t n = std::min<std::size_t>(answer[at], answer.size() - at - 1);
        CWirelessDevice::version_entity(Bytes(answer.begin() + at + 1, answer.begin() + at + 1 + n), v, found);
        at += 1 + n;
    }
    formats(v);

    // Register 0xF1 read with parameters 1 to 4: per read a success byte and reply bytes 1 and 2.
    std::size_t at = 0;
    qv::VersionRecord f1;
    const bool present = qv::version_from_register_f1(
        "RQR",
        [&](std::uint8_t, std::uint8_t& a, std::uint8_t& b) {
            if (at + 3 > answer.size())
                return false;
            const bool ok = answer[at] & 1;
            a = answer[at + 1];
            b = answer[at + 2];
            at += 3;
            return ok;
        },
        f1);
    check(present == f1.present());
    formats(f1);
    return 0;
}
