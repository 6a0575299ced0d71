// Response cache files of devio::Device: one small XML file per device and product.
#include "device/Device.h"

#include "core/Hex.h"
#include "quillon/XmlNesting.h"

// The library's own headers trip GCC's flow analysis; silence it for them only.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <rapidxml/rapidxml.hpp>
#include <rapidxml/rapidxml_print.hpp>
#pragma GCC diagnostic pop

#include <fstream>
#include <iterator>
#include <sstream>

namespace devio {

namespace {

// Low 32 bits of the 64-bit FNV-1a hash.
std::uint32_t fnv1a_low32(const std::string& text)
{
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 0x100000001B3ull;
    }
    return static_cast<std::uint32_t>(hash);
}

bool read_file(const std::string& name, std::vector<char>& out)
{
    std::ifstream in(name, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

} // namespace

std::string Device::cache_file_name() const
{
    return m_cache_directory + to_hex_string(getProductId()) + "_" + to_hex_string(fnv1a_low32(getPath())) + ".xml";
}

std::string Device::legacy_cache_file_name() const
{
    return m_cache_directory + to_hex_string(getProductId()) + ".xml";
}

void Device::set_cache_directory(std::string directory)
{
    if (directory.empty()) {
        m_cache_directory.clear();
        return;
    }
    m_cache_directory = std::move(directory);
    load_response_cache();
}

void Device::load_response_cache()
{
    if (m_cache_directory.empty())
        return;
    std::vector<char> buffer;
    if (!read_file(cache_file_name(), buffer)) {
        if (!m_config_item9 || !read_file(legacy_cache_file_name(), buffer))
            return;
        m_cache_dirty = true;  // so that the main name gets written
    }
    // rapidxml descends recursively: a file nested too deeply is damaged (or hostile) and would
    // overflow the stack. Like any damaged file it loads nothing and is rewritten.
    if (quillon::xml_nested_too_deeply(std::string_view(buffer.data(), buffer.size()))) {
        m_cache_dirty = true;
        return;
    }
    buffer.push_back('\0');
    rapidxml::xml_document<> doc;
    try {
        doc.parse<0>(buffer.data());
    } catch (const std::exception&) {
        // A damaged file loads nothing and is rewritten at the next write.
        m_cache_dirty = true;
        return;
    }
    rapidxml::xml_node<>* root = doc.first_node("cache");
    if (!root)
        return;
    rapidxml::xml_attribute<>* fwAttribute = root->first_attribute("fw");
    const std::string fileFw = fwAttribute ? std::string(fwAttribute->value(), fwAttribute->value_size()) : "";
    {
        std::lock_guard<std::mutex> lock(m_firmware_mutex);
        if (!m_firmware_text.empty() && m_firmware_text != fileFw) {
            m_cache_dirty = true;  // other firmware: replaced at the next write
            return;
        }
        m_firmware_text = fileFw;
    }
    std::lock_guard<std::mutex> lock(m_cache_mutex);
    for (auto* node = root->first_node("command"); node; node = node->next_sibling("command")) {
        auto* cmd = node->first_attribute("cmd");
        auto* rsp = node->first_attribute("rsp");
        const std::string cmdText = cmd ? std::string(cmd->value(), cmd->value_size()) : "";
        const std::string rspText = rsp ? std::string(rsp->value(), rsp->value_size()) : "";
        m_response_cache[hex_to_bytes(cmdText)] = hex_to_bytes(rspText);
    }
}

void Device::write_response_cache()
{
    m_cache_dirty = false;
    if (m_cache_directory.empty())
        return;
    std::string firmware;
    {
        std::lock_guard<std::mutex> lock(m_firmware_mutex);
        firmware = m_firmware_text;
    }
    if (firmware.empty())
        return;
    std::map<std::vector<Byte>, std::vector<Byte>> entries;
    {
        std::lock_guard<std::mutex> lock(m_cache_mutex);
        entries = m_response_cache;
    }
    const std::string path = getPath();
    // rapidxml keeps pointers: every string must outlive the document.
    std::vector<std::pair<std::string, std::string>> texts;
    texts.reserve(entries.size());
    for (const auto& entry : entries)
        texts.emplace_back(bytes_to_hex(entry.first), bytes_to_hex(entry.second));

    rapidxml::xml_document<> doc;
    auto* declaration = doc.allocate_node(rapidxml::node_declaration);
    declaration->append_attribute(doc.allocate_attribute("version", "1.0"));
    declaration->append_attribute(doc.allocate_attribute("encoding", "utf-8"));
    doc.append_node(declaration);
    auto* root = doc.allocate_node(rapidxml::node_element, "cache");
    root->append_attribute(doc.allocate_attribute("fw", firmware.c_str()));
    root->append_attribute(doc.allocate_attribute("path", path.c_str()));
    doc.append_node(root);
    for (const auto& text : texts) {
        auto* node = doc.allocate_node(rapidxml::node_element, "command");
        node->append_attribute(doc.allocate_attribute("cmd", text.first.c_str()));
        node->append_attribute(doc.allocate_attribute("rsp", text.second.c_str()));
        root->append_node(node);
    }
    std::string printed;
    rapidxml::print(std::back_inserter(printed), doc);
    auto save = [&printed](const std::string& name) {
        std::ofstream out(name, std::ios::binary | std::ios::trunc);
        if (out)
            out << printed;
    };
    save(cache_file_name());
    if (m_config_item9)
        save(legacy_cache_file_name());
}

} // namespace devio
