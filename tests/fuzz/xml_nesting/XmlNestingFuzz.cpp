// The nesting check against the parser it guards: on every text rapidxml accepts, the check must
// have counted exactly the depth of the tree rapidxml built (a smaller count is how a hostile file
// slips past it). A small bound makes deep texts cheap to reach.
#include <quillon/XmlNesting.h>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <rapidxml/rapidxml.hpp>
#pragma GCC diagnostic pop

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t kBound = 8;

std::size_t element_depth(const rapidxml::xml_node<>* node)
{
    std::size_t deepest = 0;
    for (auto* child = node->first_node(); child; child = child->next_sibling())
        if (child->type() == rapidxml::node_element) {
            const std::size_t d = 1 + element_depth(child);
            if (d > deepest)
                deepest = d;
        }
    return deepest;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::size_t counted = quillon::xml_nesting_depth(text, kBound);
    if (counted > kBound || quillon::xml_nested_too_deeply(text) != (counted > quillon::kMaxXmlNesting))
        return 0;
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    rapidxml::xml_document<> document;
    try {
        document.parse<0>(buffer.data());
    } catch (const rapidxml::parse_error&) {
        return 0;
    }
    const std::size_t parsed = element_depth(&document);
    if (parsed != counted) {
        std::fprintf(stderr, "nesting counted %zu, parsed %zu\n", counted, parsed);
        std::abort();
    }
    return 0;
}
