#include "bluetooth/PairedFile.h"

#include "quillon/XmlNesting.h"
#include "quillon/XmlValues.h"

#include <rapidxml/rapidxml.hpp>
#include <rapidxml/rapidxml_print.hpp>

#include <cstdio>
#include <iterator>
#include <memory>

namespace devio {

std::vector<PairedEntry> parse_paired_file(std::string_view text)
{
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    char* start = buffer.data();
    if (buffer.size() >= 4 && static_cast<unsigned char>(start[0]) == 0xEF &&
        static_cast<unsigned char>(start[1]) == 0xBB && static_cast<unsigned char>(start[2]) == 0xBF)
        start += 3;
    // rapidxml recurses per level: a deep file is refused before it parses.
    if (quillon::xml_nested_too_deeply(start))
        throw PairedFileError("nesting too deep");
    rapidxml::xml_document<> doc;
    try {
        doc.parse<0>(start);
    } catch (const rapidxml::parse_error& e) {
        throw PairedFileError(e.what());
    }
    std::vector<PairedEntry> entries;
    rapidxml::xml_node<>* root = doc.first_node("devices");
    if (!root)
        return entries;
    for (rapidxml::xml_node<>* node = root->first_node("device"); node; node = node->next_sibling()) {
        auto attribute = [node](const char* name, std::string& out) {
            rapidxml::xml_attribute<>* a = node->first_attribute(name);
            if (!a)
                return false;
            out.assign(a->value(), a->value_size());
            return true;
        };
        PairedEntry entry;
        if (attribute("path", entry.path) && attribute("pid", entry.pid) && attribute("name", entry.name) &&
            attribute("radio", entry.radio) && attribute("interface", entry.interfaceName))
            entries.push_back(std::move(entry));
    }
    return entries;
}

bool paired_entry_writable(const PairedEntry& entry)
{
    return quillon::xml_value_writable(entry.path) && quillon::xml_value_writable(entry.pid) &&
           quillon::xml_value_writable(entry.name) && quillon::xml_value_writable(entry.radio) &&
           quillon::xml_value_writable(entry.interfaceName);
}

std::string print_paired_file(const std::vector<PairedEntry>& entries)
{
    const auto owned = quillon::new_xml_document();
    rapidxml::xml_document<>& doc = *owned;
    auto* root = doc.allocate_node(rapidxml::node_element, "devices");
    doc.append_node(root);
    // rapidxml keeps pointers: the entries outlive the document.
    for (const PairedEntry& e : entries) {
        if (!paired_entry_writable(e))
            continue;
        auto* node = doc.allocate_node(rapidxml::node_element, "device");
        auto add = [&](const char* name, const std::string& value) {
            node->append_attribute(doc.allocate_attribute(name, value.c_str(), 0, value.size()));
        };
        add("path", e.path);
        add("pid", e.pid);
        add("name", e.name);
        add("radio", e.radio);
        add("interface", e.interfaceName);
        root->append_node(node);
    }
    std::string printed;
    rapidxml::print(std::back_inserter(printed), doc);
    return printed;
}

std::uint32_t parse_paired_pid(const std::string& text)
{
    unsigned long long value = 0;
    try {
        value = std::stoull(text, nullptr, 16);
    } catch (const std::invalid_argument&) {
        throw std::invalid_argument("invalid stoul argument");
    } catch (const std::out_of_range&) {
        value = ~0ull;
    }
    if (value > 0xFFFFFFFFull)  // the platform's unsigned long has 32 bits
        throw std::out_of_range("stoul argument out of range");
    return static_cast<std::uint32_t>(value);
}

std::string format_paired_pid(std::uint32_t productId)
{
    char text[12];
    std::snprintf(text, sizeof text, "%X", productId);
    return text;
}

} // namespace devio
