#include "devices/FirmwareSignature.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::vector<std::uint8_t> image(std::size_t size, std::uint8_t seed = 1)
{
    std::vector<std::uint8_t> out(size);
    for (std::size_t i = 0; i < size; ++i)
        out[i] = static_cast<std::uint8_t>(seed + i * 7);
    return out;
}

TEST(FirmwareSignature, SameImageSameSignatureWhateverTheErasedTail)
{
    const auto base = image(1000);
    auto area = base;
    area.resize(0x10000, 0xFF);   // the whole flash area as a bootloader reads it
    EXPECT_EQ(quillon::firmwareSignature(base), quillon::firmwareSignature(area));
    EXPECT_EQ(quillon::firmwareSignature(nullptr, 5), quillon::firmwareSignature(std::vector<std::uint8_t>(9, 0xFF)));
}

TEST(FirmwareSignature, AnyChangeChangesTheSignature)
{
    const auto base = image(4096);
    const auto reference = quillon::firmwareSignature(base);
    struct Row {
        const char* name;
        std::vector<std::uint8_t> changed;
    };
    std::vector<Row> rows;
    auto flipped = base;
    flipped[2048] ^= 0x01;
    rows.push_back({"one bit", flipped});
    auto swapped = base;
    std::swap(swapped[10], swapped[11]);
    rows.push_back({"two bytes swapped", swapped});
    auto shorter = base;
    shorter.pop_back();
    rows.push_back({"one byte shorter", shorter});
    auto zeroTail = base;
    zeroTail.push_back(0x00);   // only 0xFF is erased flash
    rows.push_back({"zero appended", zeroTail});
    rows.push_back({"other content", image(4096, 2)});
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto other = quillon::firmwareSignature(row.changed);
        EXPECT_NE(reference, other);
        // The whole block changes, not a few bytes of it.
        int same = 0;
        for (std::size_t i = 0; i < other.size(); ++i)
            same += other[i] == reference[i];
        EXPECT_LT(same, 16);
    }
}

}  // namespace
