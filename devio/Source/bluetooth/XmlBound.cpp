#include "bluetooth/XmlBound.h"

#include <cstring>

namespace devio {

namespace {
constexpr int kMaxNesting = 64;

// Counts open elements; comments, declarations, CDATA and quoted attribute values do not count.
bool nested_too_deeply(const char* xml)
{
    const std::size_t size = std::strlen(xml);
    int depth = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (xml[i] != '<')
            continue;
        const char* end = nullptr;
        if (std::strncmp(xml + i, "<!--", 4) == 0) {
            end = std::strstr(xml + i + 4, "-->");
        } else if (std::strncmp(xml + i, "<![CDATA[", 9) == 0) {
            end = std::strstr(xml + i + 9, "]]>");
        } else if (i + 1 < size && (xml[i + 1] == '!' || xml[i + 1] == '?' || xml[i + 1] == '/')) {
            if (xml[i + 1] == '/')
                --depth;
            end = std::strchr(xml + i + 1, '>');
        } else {
            char quote = 0;
            std::size_t j = i + 1;
            for (; j < size; ++j) {
                if (quote) {
                    if (xml[j] == quote)
                        quote = 0;
                } else if (xml[j] == '"' || xml[j] == '\'') {
                    quote = xml[j];
                } else if (xml[j] == '>') {
                    break;
                }
            }
            if (j >= size || xml[j - 1] != '/')
                ++depth;
            if (depth > kMaxNesting)
                return true;
            end = xml + j;
        }
        if (!end || end >= xml + size)
            break;
        i = static_cast<std::size_t>(end - xml);
    }
    return false;
}
} // namespace

void parse_xml_bounded(rapidxml::xml_document<>& doc, char* text)
{
    if (nested_too_deeply(text))
        throw rapidxml::parse_error("nesting too deep", text);
    doc.parse<0>(text);
}

} // namespace devio
