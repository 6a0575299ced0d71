// Scenario texts a user may get wrong in less obvious ways: numbers out of range or half
// written, empty names, deep nesting and stray bytes. Each is refused with a ScenarioError.
#include "SimTestSupport.h"

#include <quillon/XmlNesting.h>
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

namespace {

std::string repeat(const std::string& piece, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}

// Text that rapidxml skips must not move the nesting count: closing tags hidden in it would let the
// opening tags that follow pass as shallow.
TEST_F(ScenarioEdgeTest, NestingHiddenBehindSkippedTextIsStillRefused)
{
    const std::string closes = repeat("</x>", 5000);
    const std::string opens = repeat("<x>", 5000);
    const struct {
        const char* name;
        std::string xml;
    } cases[] = {
        {"processing instruction", "<scenario><?" + closes + "?>" + opens},
        {"processing instruction whose '>' ends nothing", "<scenario><?pi >" + closes + "?>" + opens},
        {"declaration", "<?xml " + closes + "?><scenario>" + opens},
        {"comment", "<scenario><!-- > " + closes + "-->" + opens},
        {"CDATA", "<scenario><![CDATA[ > " + closes + "]]>" + opens},
        {"DOCTYPE subset", "<!DOCTYPE s [ > " + closes + "]><scenario>" + opens},
        {"attribute value", "<scenario a=\"/>" + closes + "\">" + opens},
        {"byte-order mark", "\xEF\xBB\xBF<scenario>" + opens},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_GT(quillon::xml_nesting_depth(c.xml), quillon::kMaxXmlNesting);
        EXPECT_THROW(Scenario::from_text(c.xml + repeat("</x>", 5000) + "</scenario>"), ScenarioError);
        EXPECT_TRUE(children_of(0).empty());
    }
}

TEST_F(ScenarioEdgeTest, NestingIsCountedAsTheParserReadsIt)
{
    const struct {
        const char* name;
        std::string xml;
        std::size_t depth;
    } cases[] = {
        {"self-closing elements", "<a><b/><c x='1'/></a>", 2},
        {"closing tags with any name", "<a><b></zz ></b></a>", 2},
        {"text between tags", "<a> t <b>u</b> v <c><d/></c></a>", 3},
        {"'<' inside a name", "<a<b><c></c></a<b>", 2},
        {"comment holding tags", "<a><!-- <b><c><d> --><b/></a>", 2},
        {"PI ended only by '?>'", "<a><? <b> > <c> ?><b></b></a>", 2},
        {"unknown '<!' ends at '>'", "<a><!ELEMENT x><b></b></a>", 2},
        {"NUL ends the text", std::string("<a><b>\0<c><d><e>", 16), 2},
        {"malformed tag stops the count", "<a><b =\"1\"><c><d>", 2},
        {"closing tag at the top stops it", "</a><a><b><c>", 0},
        {"text at the top stops it", "x<a><b>", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(quillon::xml_nesting_depth(c.xml), c.depth);
    }
}

TEST_F(ScenarioEdgeTest, NumbersAreDecimalOrPrefixedHexadecimal)
{
    const struct {
        const char* length;
        int expected;
    } cases[] = {{"010", 10}, {"0x10", 16}, {"0X1f", 31}, {"7", 7}, {"001", 1}, {"65535", 65535}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        Scenario scenario = Scenario::from_text(
            "<scenario><device kind=\"hid\" name=\"d\"><collection usage-page=\"1\" usage=\"1\">"
            "<output id=\"1\" length=\"" + std::string(c.length) + "\"/></collection></device></scenario>");
        EXPECT_EQ(scenario.device("d")->collections[0]->output_length(), c.expected);
    }
    for (const char* bad : {"0x-5", "0x+5", "0b1", "1e3", "0xG", "08x", "0x10000"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(Scenario::from_text(with_collection(std::string("usage-page=\"1\" usage=\"1\" vendor=\"") + bad +
                                                         "\" length=\"7\"")),
                     ScenarioError);
    }
}

}  // namespace
