#pragma once
// rapidxml parses elements recursively, so a deeply nested file overflows the stack. Every reader of
// XML from outside checks the nesting with this before parsing. The scan reads the text the way
// rapidxml does with its default flags (processing instructions and the declaration up to "?>",
// comments up to "-->", CDATA up to "]]>", DOCTYPE with its bracketed subset, other "<!" up to ">",
// quoted attribute values, closing tags with their names unchecked, the first NUL as the end), so
// nothing hidden in one of those can make it count differently from the parser. Where rapidxml would
// stop with an error the scan stops too: the parser never gets deeper than the scan has seen.
#include <cstddef>
#include <string_view>

namespace quillon {

// Deep enough for every file the program writes or reads; shallow enough for any thread's stack.
constexpr std::size_t kMaxXmlNesting = 64;

namespace xml_nesting_detail {

inline bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

inline bool is_name(char c)
{
    return c != '\0' && !is_space(c) && c != '/' && c != '>' && c != '?';
}

inline bool is_attribute_name(char c)
{
    return is_name(c) && c != '<' && c != '=' && c != '!';
}

} // namespace xml_nesting_detail

// The deepest element nesting rapidxml reaches on `xml`, counting no further than `stopAbove` + 1.
inline std::size_t xml_nesting_depth(std::string_view xml, std::size_t stopAbove = kMaxXmlNesting)
{
    using namespace xml_nesting_detail;
    xml = xml.substr(0, xml.find('\0'));
    const std::size_t n = xml.size();
    const auto at = [&](std::size_t k) { return k < n ? xml[k] : '\0'; };
    std::size_t i = xml.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    // Moves past the next `terminator`; false at the end of the text (rapidxml: unexpected end).
    const auto skip_past = [&](std::string_view terminator) {
        const std::size_t found = xml.find(terminator, i);
        if (found == std::string_view::npos)
            return false;
        i = found + terminator.size();
        return true;
    };
    const auto skip_spaces = [&] {
        while (is_space(at(i)))
            ++i;
    };

    std::size_t depth = 0;
    std::size_t deepest = 0;
    for (;;) {
        skip_spaces();
        if (i >= n)
            return deepest;
        if (at(i) != '<') {
            // Text: only inside an element, up to the next tag.
            if (depth == 0 || (i = xml.find('<', i)) == std::string_view::npos)
                return deepest;
            continue;
        }
        if (at(i + 1) == '/') {
            if (depth == 0)
                return deepest;
            i += 2;
            while (is_name(at(i)))
                ++i;
            skip_spaces();
            if (at(i) != '>')
                return deepest;
            ++i;
            --depth;
            continue;
        }
        ++i;
        if (at(i) == '?') {
            ++i;
            if (!skip_past("?>"))
                return deepest;
            continue;
        }
        if (at(i) == '!') {
            if (at(i + 1) == '-' && at(i + 2) == '-') {
                i += 3;
                if (!skip_past("-->"))
                    return deepest;
            } else if (xml.compare(i + 1, 7, "[CDATA[") == 0) {
                i += 8;
                if (!skip_past("]]>"))
                    return deepest;
            } else if (xml.compare(i + 1, 7, "DOCTYPE") == 0 && is_space(at(i + 8))) {
                i += 9;
                while (at(i) != '>') {
                    if (i >= n)
                        return deepest;
                    if (at(i) == '[') {
                        ++i;
                        for (std::size_t brackets = 1; brackets > 0; ++i) {
                            if (i >= n)
                                return deepest;
                            if (at(i) == '[')
                                ++brackets;
                            else if (at(i) == ']')
                                --brackets;
                        }
                    } else {
                        ++i;
                    }
                }
                ++i;
            } else {
                ++i;
                if (!skip_past(">"))
                    return deepest;
            }
            continue;
        }
        // An element: name, attributes, then ">" (contents follow) or "/>".
        const std::size_t name = i;
        while (is_name(at(i)))
            ++i;
        if (i == name)
            return deepest;
        // Each element is one level of the parser's descent, self-closing or not.
        if (depth + 1 > deepest) {
            deepest = depth + 1;
            if (deepest > stopAbove)
                return deepest;
        }
        skip_spaces();
        while (is_attribute_name(at(i))) {
            while (is_attribute_name(at(i)))
                ++i;
            skip_spaces();
            if (at(i) != '=')
                return deepest;
            ++i;
            skip_spaces();
            const char quote = at(i);
            if (quote != '"' && quote != '\'')
                return deepest;
            ++i;
            if (!skip_past(std::string_view(&quote, 1)))
                return deepest;
            skip_spaces();
        }
        if (at(i) == '/' && at(i + 1) == '>') {
            i += 2;
            continue;
        }
        if (at(i) != '>')
            return deepest;
        ++i;
        ++depth;
    }
}

// True when parsing `xml` would nest elements deeper than `maxDepth`: refuse the text unparsed.
inline bool xml_nested_too_deeply(std::string_view xml, std::size_t maxDepth = kMaxXmlNesting)
{
    return xml_nesting_depth(xml, maxDepth) > maxDepth;
}

} // namespace quillon
