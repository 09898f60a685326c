// xml_prescan.hpp: one linear pass over a definition's markup, counting what the parser would
// spend quadratic time on, before the parser sees it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace winemu {

// Where the first start tag over a bound stands, and which bound it crossed.
struct MarkupExcess {
    long line;
    long column;        // of the tag's '<', in bytes from the start of its line
    std::string element;  // the tag's name as written
    std::string what;     // which bound, in words
};

// libxml2 checks each attribute of an element against all those before it, and looks each prefix
// up through every namespace declaration in scope: many attributes on one element, or many
// declarations, make parsing quadratic. This pass finds a start tag with more than
// most_attributes_per_element attributes, or the declaration past most_namespace_declarations,
// in time linear in the text. It counts every '=' outside quoted values inside a start tag, which
// is at least the number of attributes the parser would read there; comments, CDATA sections and
// processing instructions are skipped, and a document type declaration ends the pass (the parser
// refuses it before reading further).
std::optional<MarkupExcess> find_markup_excess(std::string_view xml);

}  // namespace winemu
