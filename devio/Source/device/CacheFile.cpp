#include "device/CacheFile.h"

#include "core/Hex.h"
#include "quillon/XmlNesting.h"
#include "quillon/XmlValues.h"

// The library's own headers trip GCC's flow analysis; silence it for them only.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <rapidxml/rapidxml.hpp>
#include <rapidxml/rapidxml_print.hpp>
#pragma GCC diagnostic pop

#include <iterator>
#include <memory>

namespace devio {

namespace {

std::string value_of(rapidxml::xml_node<>* node, const char* name)
{
    rapidxml::xml_attribute<>* attribute = node->first_attribute(name);
    return attribute ? std::string(attribute->value(), attribute->value_size()) : std::string();
}

} // namespace

std::optional<CacheFile> parse_cache(std::string_view text)
{
    // rapidxml descends recursively: a file nested too deeply is damaged (or hostile) and would
    // overflow the stack.
    if (quillon::xml_nested_too_deeply(text))
        throw CacheFileError("nesting too deep");
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    rapidxml::xml_document<> doc;
    try {
        doc.parse<0>(buffer.data());
    } catch (const rapidxml::parse_error& e) {
        throw CacheFileError(e.what());
    }
    rapidxml::xml_node<>* root = doc.first_node("cache");
    if (!root)
        return std::nullopt;
    CacheFile file;
    file.firmware = value_of(root, "fw");
    // Taken on, it would be compared and written again: a text that cannot be is damage.
    if (!quillon::xml_value_writable(file.firmware))
        throw CacheFileError("control character in fw");
    file.path = value_of(root, "path");
    for (auto* node = root->first_node("command"); node; node = node->next_sibling("command"))
        file.replies[hex_to_bytes(value_of(node, "cmd"))] = hex_to_bytes(value_of(node, "rsp"));
    return file;
}

std::optional<std::string> print_cache(const CacheFile& file)
{
    if (!quillon::xml_value_writable(file.firmware) || !quillon::xml_value_writable(file.path))
        return std::nullopt;
    // rapidxml keeps pointers: every string must outlive the document.
    std::vector<std::pair<std::string, std::string>> texts;
    texts.reserve(file.replies.size());
    for (const auto& entry : file.replies)
        texts.emplace_back(bytes_to_hex(entry.first), bytes_to_hex(entry.second));

    const auto owned = quillon::new_xml_document();
    rapidxml::xml_document<>& doc = *owned;
    auto* root = doc.allocate_node(rapidxml::node_element, "cache");
    root->append_attribute(doc.allocate_attribute("fw", file.firmware.c_str(), 0, file.firmware.size()));
    root->append_attribute(doc.allocate_attribute("path", file.path.c_str(), 0, file.path.size()));
    doc.append_node(root);
    for (const auto& text : texts) {
        auto* node = doc.allocate_node(rapidxml::node_element, "command");
        node->append_attribute(doc.allocate_attribute("cmd", text.first.c_str()));
        node->append_attribute(doc.allocate_attribute("rsp", text.second.c_str()));
        root->append_node(node);
    }
    std::string printed;
    rapidxml::print(std::back_inserter(printed), doc);
    return printed;
}

} // namespace devio
