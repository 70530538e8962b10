// main.xml: the window element with its tree, built from the layout file
// and the resources it names.
#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "element.h"
#include "resources.h"

namespace xcgui {

struct ParsedLayout {
    WindowSpec window;
    std::unique_ptr<Element> root;  // kind Window
};

// nullopt when the XML is malformed or holds no windowUI element. Unknown
// attributes are ignored and unknown element kinds skipped with their
// subtree, so a layout from a newer designer still loads.
std::optional<ParsedLayout> ParseLayout(std::string_view xml, const Resources& resources);

SizeSpec ParseSizeSpec(std::wstring_view text);
Box ParseBox(std::wstring_view text);
Align ParseAlign(std::wstring_view text);

}  // namespace xcgui
