#include "features/Feature1890RfTest.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

namespace {

std::vector<Byte> long_params(std::int32_t value32, std::uint8_t byteA, std::uint32_t channel, std::uint32_t level,
                              std::uint8_t byteB, std::uint8_t byteC, std::uint16_t value16, std::uint8_t byteD)
{
    std::vector<Byte> p;
    put_be32(p, static_cast<std::uint32_t>(value32));
    p.insert(p.end(), {byteA, static_cast<Byte>(channel), static_cast<Byte>(level), byteB, byteC});
    put_be16(p, value16);
    p.push_back(byteD);
    return p;
}

std::vector<Byte> short_params(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    return {static_cast<Byte>(a), static_cast<Byte>(b), static_cast<Byte>(c), static_cast<Byte>(d)};
}

} // namespace

bool Feature1890RfTest::run(std::uint32_t function, std::initializer_list<std::uint32_t> channels,
                            std::uint32_t level, const std::vector<Byte>& params, std::vector<Byte>* reply)
{
    for (std::uint32_t channel : channels)
        if (channel > 78)
            return false;
    if (level == 16 || !begin_setting_change())
        return false;
    if (reply)
        return read_reply(*this, function, params, ReplyRule::strict(2), *reply);
    return write_request(*this, function, params);
}

bool Feature1890RfTest::RfTestFunction0(std::int32_t value32, std::uint8_t byteA, std::uint32_t channel,
                                        std::uint32_t level, std::uint8_t byteB, std::uint8_t byteC,
                                        std::uint16_t value16, std::uint8_t byteD, std::uint32_t& result)
{
    std::vector<Byte> reply;
    if (!run(0, {channel}, level, long_params(value32, byteA, channel, level, byteB, byteC, value16, byteD), &reply))
        return false;
    result = read_be16(reply, 0);
    return true;
}

bool Feature1890RfTest::RfTestFunction1(std::uint32_t channel, std::uint32_t level, std::uint16_t value16)
{
    return run(1, {channel}, level, short_params(channel, level, value16 >> 8, value16 & 0xFF), nullptr);
}

bool Feature1890RfTest::RfTestFunction2(std::uint32_t channel, std::uint32_t level, std::uint16_t value16)
{
    return run(2, {channel}, level, short_params(channel, level, value16 >> 8, value16 & 0xFF), nullptr);
}

bool Feature1890RfTest::RfTestFunction3(std::uint32_t channel1, std::uint32_t channel2, std::uint32_t level,
                                        std::uint8_t byteA)
{
    return run(3, {channel1, channel2}, level, short_params(channel1, channel2, level, byteA), nullptr);
}

bool Feature1890RfTest::RfTestFunction4(std::uint32_t channel1, std::uint32_t channel2, std::uint32_t level,
                                        std::uint8_t byteA)
{
    return run(4, {channel1, channel2}, level, short_params(channel1, channel2, level, byteA), nullptr);
}

bool Feature1890RfTest::RfTestFunction5(std::int32_t value32, std::uint8_t byteA, std::uint32_t channel,
                                        std::uint32_t level, std::uint8_t byteB, std::uint8_t byteC,
                                        std::uint16_t value16, std::uint8_t byteD)
{
    auto params = long_params(value32, byteA, channel, level, byteB, byteC, value16, byteD);
    params.push_back(0);
    return run(5, {channel}, level, params, nullptr);
}

bool Feature1890RfTest::RfTestFunction6(std::int32_t value32, std::uint8_t byteA, std::uint32_t channel,
                                        std::uint32_t level, std::uint8_t byteB, std::uint16_t value16,
                                        std::uint8_t byteD)
{
    std::vector<Byte> p;
    put_be32(p, static_cast<std::uint32_t>(value32));
    p.insert(p.end(), {byteA, static_cast<Byte>(channel), static_cast<Byte>(level), byteB});
    put_be16(p, value16);
    p.push_back(byteD);
    return run(6, {channel}, level, p, nullptr);
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature1890RfTest, 0x1890)
