// Parses XML in place with rapidxml after bounding its nesting (rapidxml recurses per level).
// Throws rapidxml::parse_error.
#pragma once

#include <rapidxml/rapidxml.hpp>

namespace devio {

void parse_xml_bounded(rapidxml::xml_document<>& doc, char* text);

} // namespace devio
