#pragma once
// rapidxml decodes character references such as "&#0;" or "&#1;" into the value it hands over, but
// its printer writes every character raw: a NUL then ends the text at the next load, and the other
// control characters below make a document XML forbids. A value holding one cannot be written so
// that it reads back; every XML file the program writes from outside data checks its values here.
#include <rapidxml/rapidxml.hpp>

#include <memory>
#include <string_view>

namespace quillon {

// False for a value holding a character XML 1.0 cannot carry (a C0 control other than tab, line
// feed and carriage return, which rapidxml reads back as they were written).
inline bool xml_value_writable(std::string_view value)
{
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r')
            return false;
    }
    return true;
}

// A document holding the declaration every file the program writes starts with. On the heap: the
// document's pool is large.
inline std::unique_ptr<rapidxml::xml_document<>> new_xml_document()
{
    auto doc = std::make_unique<rapidxml::xml_document<>>();
    auto* declaration = doc->allocate_node(rapidxml::node_declaration);
    declaration->append_attribute(doc->allocate_attribute("version", "1.0"));
    declaration->append_attribute(doc->allocate_attribute("encoding", "utf-8"));
    doc->append_node(declaration);
    return doc;
}

} // namespace quillon
