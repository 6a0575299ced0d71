// Scenario texts a user may get wrong in less obvious ways: numbers out of range or half
// written, empty names, deep nesting and stray bytes. Each is refused with a ScenarioError.
#include "SimTestSupport.h"

#include <sim/Scenario.h>

using namespace platform::sim;

namespace {

class ScenarioEdgeTest : public simtest::DeviceTreeTest {};

std::string with_collection(const std::string& attributes)
{
    return "<scenario><device kind=\"hid\"><collection " + attributes + "/></device></scenario>";
}

TEST_F(ScenarioEdgeTest, OddNumbersAndNamesAreRefused)
{
    const std::string cases[] = {
        with_collection("usage-page=\"1\" usage=\"1\" length=\"99999999999999999999999999\""),
        with_collection("usage-page=\"1\" usage=\"1\" length=\"-1\""),
        with_collection("usage-page=\"1\" usage=\"1\" length=\"0x\""),
        with_collection("usage-page=\"1\" usage=\"1\" length=\"7 \""),
        with_collection("usage-page=\"1\" usage=\"1\" length=\"\""),
        with_collection("usage-page=\"1\" usage=\"1\" length=\"65536\""),
        with_collection("usage-page=\"1\" usage=\"1\" report-id=\"256\" length=\"7\""),
        with_collection("usage-page=\"1\" usage=\"1\" vendor=\"0x10000\" length=\"7\""),
        "<scenario><device kind=\"hid\" instance=\"\"><collection usage-page=\"1\" usage=\"1\" length=\"2\"/>"
        "</device></scenario>",
        "<scenario><device kind=\"hid\"><collection usage-page=\"1\" usage=\"1\"><input id=\"1\"/></collection>"
        "</device></scenario>",
        std::string("<scenario>\0<device kind=\"hid\"/></scenario>", 41),
        std::string(200000, '<'),
    };
    for (const auto& xml : cases) {
        EXPECT_THROW(Scenario::from_text(xml), ScenarioError) << xml.substr(0, 200);
        EXPECT_TRUE(children_of(0).empty()) << xml.substr(0, 200);
    }
}

TEST_F(ScenarioEdgeTest, DeeplyNestedTextIsRefusedWithoutExhaustingTheStack)
{
    std::string xml = "<scenario>";
    for (int i = 0; i < 100000; ++i)
        xml += "<a>";
    EXPECT_THROW(Scenario::from_text(xml), ScenarioError);
    for (int i = 0; i < 100000; ++i)
        xml += "</a>";
    xml += "</scenario>";
    EXPECT_THROW(Scenario::from_text(xml), ScenarioError);
    EXPECT_TRUE(children_of(0).empty());
}

}  // namespace
