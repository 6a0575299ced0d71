// Every row of the golden wire table: the exact requests and kinds an operation puts on the
// wire, and what it makes of the replies.
#include "GoldenWire.h"

#include <gtest/gtest.h>

#include <cctype>

namespace devio::test {
namespace {

class GoldenWire : public ::testing::TestWithParam<GoldenRow> {};

TEST_P(GoldenWire, SendsExactlyAndDecodes)
{
    const GoldenRow& row = GetParam();
    SCOPED_TRACE(row.name);
    const GoldenRun run = run_golden(row, row.replies);
    EXPECT_EQ(run.result, row.expected);
    ASSERT_EQ(run.log.size(), row.sent.size()) << "requests on the wire";
    for (std::size_t i = 0; i < row.sent.size(); ++i) {
        SCOPED_TRACE("request " + std::to_string(i));
        EXPECT_EQ(run.log[i].command, golden_command(row.sent[i]));
        EXPECT_EQ(run.log[i].kind, row.sent[i].kind);
        EXPECT_EQ(run.log[i].written, row.sent[i].written);
    }
}

std::string row_name(const ::testing::TestParamInfo<GoldenRow>& info)
{
    std::string name;
    for (char c : info.param.name)
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name + "_" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(Features, GoldenWire, ::testing::ValuesIn(golden_rows()), row_name);

} // namespace
} // namespace devio::test
