// The wizard's reading of device and receiver version texts: any bytes, no crash, and the
// decisions agree with what the text says.
#include "UpdateDecision.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

const FirmwareVersion kWanted{"X", 0x12, 0x03, 0x07};
const ReceiverFirmwareEntry kRows[] = {
    {0xC510, 0xAA10, {"R", 0x12, 0x03, 0x07}, {"BL", 1, 0x01, 0}, "a", ""},
    {0xC510, 0xAA10, {"R", 0x12, 0x03, 0x07}, {"BL", 1, 0x02, 0}, "b", ""},
    {0xC510, 0xAA10, {"R", 0x00, 0x00, 0x00}, {"BL", 1, 0x03, 0}, "c", ""},
};

void check(bool condition)
{
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The first byte picks flags; the rest is the text, cut like the 80-byte info field.
    const std::uint8_t flags = size ? data[0] : 0;
    std::string text(reinterpret_cast<const char*>(data) + (size ? 1 : 0), size ? size - 1 : 0);
    if (text.size() > 79)
        text.resize(79);
    text = std::string(text.c_str());  // the field ends at its first NUL

    const auto parts = wizard::readVersionText(text);
    std::size_t dots = 0;
    for (char c : text)
        dots += c == '.';
    check(parts.has_value() == (dots == 2));

    wizard::DeviceFacts facts;
    facts.readable = true;
    facts.online = true;
    facts.inDfu = (flags & 1) != 0;
    facts.productId = (flags & 2) ? 0xAA10 : 0xC510;
    facts.version = text;
    const wizard::Verdict verdict = wizard::updateVerdict(facts, kWanted);
    if (facts.inDfu)
        check(verdict == wizard::Verdict::NeedsUpdate);
    else if (!parts)
        check(verdict == wizard::Verdict::NoUpdate);
    else
        check((verdict == wizard::Verdict::UpToDate) ==
              (parts->number >= 0x12 && parts->revision >= 0x03 && (parts->build & 0xFF) >= 0x07));

    wizard::ReceiverFacts receiver;
    receiver.facts = facts;
    if (flags & 4)
        receiver.bootloaderRevision = (flags >> 4) & 3;
    const wizard::ReceiverChoice choice = wizard::chooseReceiverRows(receiver, kRows, 3);
    check(choice.decided == parts.has_value());
    check(choice.rows.size() <= 3);
    return 0;
}
