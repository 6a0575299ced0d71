#include "GoldenWire.h"

#include "features/FeatureRegistry.h"

#include <mutex>

namespace devio::test {

std::vector<GoldenRow>& golden_rows()
{
    static std::vector<GoldenRow> rows;
    return rows;
}

GoldenRows::GoldenRows(std::vector<GoldenRow> rows)
{
    auto& all = golden_rows();
    for (auto& row : rows)
        all.push_back(std::move(row));
}

std::vector<Byte> golden_command(const Wire& wire)
{
    std::vector<Byte> command{0x10, 0xFF, kGoldenIndex, static_cast<Byte>((wire.function << 4) | kGoldenSoftwareId)};
    command.insert(command.end(), wire.params.begin(), wire.params.end());
    if (command.size() > 7)
        command[0] = 0x11;
    return command;
}

GoldenRun run_golden(const GoldenRow& row, const std::vector<std::vector<Byte>>& replies)
{
    auto dev = std::make_shared<FakeDevice>();
    dev->software_id = kGoldenSoftwareId;
    auto next = std::make_shared<std::size_t>(0);
    auto mutex = std::make_shared<std::mutex>();
    dev->answer = [replies, next, mutex](const std::vector<Byte>& command) -> std::optional<std::vector<Byte>> {
        std::lock_guard<std::mutex> lock(*mutex);
        if (*next >= replies.size())
            return std::nullopt;
        // Every reply report carries at least the 3 payload bytes of a short report.
        std::vector<Byte> payload = replies[(*next)++];
        if (payload.size() < 3)
            payload.resize(3, 0);
        return FakeDevice::reply_to(command, payload);
    };
    auto feature = make_feature(row.feature, kGoldenIndex, dev);
    set_last_error(0, 0, nullptr);
    GoldenRun run;
    run.result = row.call(feature);
    run.log = dev->log();
    return run;
}

} // namespace devio::test
