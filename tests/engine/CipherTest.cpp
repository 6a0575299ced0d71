// The Blowfish cipher against published vectors, and enciphered descriptors made by a test-only
// encoder with the engine's own key and initialisation vector.
#include "Blowfish.h"
#include "DescriptorCodec.h"
#include "DescriptorEncoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace qv;

namespace {

using enginetest::encipher_descriptor;
using enginetest::put_be64;

std::uint64_t be64(const char* hex)
{
    return std::stoull(hex, nullptr, 16);
}

TEST(BlowfishTest, PublishedVectors)
{
    struct Vector {
        const char* key;
        const char* plain;
        const char* cipher;
    };
    const Vector vectors[] = {
        {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
        {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
        {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
        {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
        {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
        {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    };
    for (const auto& v : vectors) {
        SCOPED_TRACE(v.key);
        std::uint8_t key[8];
        put_be64(key, be64(v.key));
        const Blowfish bf(key, 8);
        const std::uint64_t p = be64(v.plain), c = be64(v.cipher);
        std::uint32_t l = static_cast<std::uint32_t>(p >> 32), r = static_cast<std::uint32_t>(p);
        bf.encipher(l, r);
        EXPECT_EQ((std::uint64_t{l} << 32) | r, c);
        bf.decipher(l, r);
        EXPECT_EQ((std::uint64_t{l} << 32) | r, p);
    }
}

TEST(BlowfishTest, ArgumentErrorsThrowTheirTexts)
{
    const std::uint8_t key[57] = {};
    try {
        Blowfish bf(key, 57);
        FAIL() << "57-byte key accepted";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "Invalid key length used to initialize BlowFish.");
    }
    EXPECT_THROW(Blowfish(key, 0), std::invalid_argument);
    const Blowfish bf(key, 56);
    std::uint8_t buf[12] = {}, chain[8] = {};
    try {
        bf.cbc_decipher(buf, buf, 12, chain);
        FAIL() << "partial block accepted";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "Invalid buffer size was passed to a Blowfish encryption or decryption routine.");
    }
}

TEST(DescriptorCodecTest, KeyAndMarkerAreAsStored)
{
    EXPECT_EQ(descriptor_marker().size(), 128u);
    ASSERT_EQ(descriptor_key().size(), 45u);
    // The 45th byte is the first half of the 23rd character.
    EXPECT_EQ(descriptor_key()[44], static_cast<std::uint8_t>('-'));
    EXPECT_EQ(descriptor_key()[43], 0);
}

TEST(DescriptorCodecTest, Decoding)
{
    const std::string text = "[FirmwareData]\r\nFWNumber=12\r\nLocation=x.hex\r\n";
    struct Row {
        const char* name;
        std::vector<std::uint8_t> file;
        bool decodes;
        std::string plain;
    };
    auto longer = encipher_descriptor(text);
    longer.push_back(0);
    auto wrongCheck = encipher_descriptor(text);
    wrongCheck.back() ^= 1;
    // The check block follows the last ciphertext block.
    auto wrongCipher = encipher_descriptor(text);
    wrongCipher[wrongCipher.size() - 9] ^= 0x80;
    auto hugeLength = encipher_descriptor("");
    hugeLength[128] = hugeLength[129] = hugeLength[130] = hugeLength[131] = 0xFF;
    auto marker = descriptor_marker();
    const Row rows[] = {
        {"plain text passes unchanged", std::vector<std::uint8_t>(text.begin(), text.end()), true, text},
        {"empty plain file", {}, true, ""},
        {"enciphered", encipher_descriptor(text), true, text},
        {"enciphered, N = 0", encipher_descriptor(""), true, ""},
        {"one byte too long", longer, false, ""},
        {"wrong check block", wrongCheck, false, ""},
        {"changed ciphertext", wrongCipher, false, ""},
        {"length near 4 GiB", hugeLength, false, ""},
        {"marker alone", marker, false, ""},
    };
    EXPECT_EQ(encipher_descriptor("").size(), 140u);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto out = decode_descriptor(row.file.data(), row.file.size());
        ASSERT_EQ(out.has_value(), row.decodes);
        if (out) {
            EXPECT_EQ(std::string(out->begin(), out->end()), row.plain);
        }
    }
}

}  // namespace
