// The receiver bootloader's answers: the info reply whose window and page size drive the erase
// requests and the image records kept, the version replies (which the buffered variants share),
// and the status of an over-the-air packet. Input: a 33-byte reply, then image text.
#include "DFULite1.h"
#include "DFUPureHid.h"

#include <cstdlib>
#include <cstring>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using qv::CDFUPureHid;
    std::uint8_t reply[33] = {};
    std::memcpy(reply, data, std::min<std::size_t>(size, sizeof reply));
    const std::uint8_t* rest = data + std::min<std::size_t>(size, sizeof reply);
    const std::size_t restSize = size - static_cast<std::size_t>(rest - data);

    std::uint16_t start = 0, end = 0xFFFF, page = 0;
    if (CDFUPureHid::decode_info(reply, start, end, page)) {
        // Every erase address lies inside the 16-bit space, below the window's end.
        const std::uint32_t pages = CDFUPureHid::erase_count(end, page);
        check(page != 0 || pages == 0);
        if (pages)
            check(std::uint64_t{pages - 1} * page < end);
        check(std::uint64_t{pages} * page >= end || page == 0);
    }
    std::vector<qv::ImageRecord> records;
    if (CDFUPureHid::ParseHex(rest, restSize, start, end, records) == QV_SUCCESS)
        for (const auto& r : records) {
            check(r.length >= 1 && r.length <= 16);
            check(r.address >= start && std::uint32_t{r.address} + r.length - 1 <= end);
        }

    for (std::uint8_t cmd : {CDFUPureHid::kVersionA, CDFUPureHid::kVersionB}) {
        qv::VersionRecord v;
        if (CDFUPureHid::version_from_reply(cmd, reply, v))
            check(v.present() && !qv::version_text(v).empty());
    }

    const int packet = qv::CDFULite1::packet_result(std::vector<std::uint8_t>(rest, rest + std::min<std::size_t>(restSize, 3)));
    check(packet == qv::CDFULite1::kAck || packet == qv::CDFULite1::kChecked || packet == qv::CDFULite1::kRestart ||
          packet == qv::CDFULite1::kError);
    return 0;
}
