#include "layout_parser.h"

#include <algorithm>

#include <pugixml.hpp>

namespace xcgui {

namespace {

// No length in a layout goes beyond this (design units): an element taller
// than any screen only costs memory and time.
constexpr int kMaxLength = 10000;

int Length(int v) { return std::clamp(v, -kMaxLength, kMaxLength); }

}  // namespace

SizeSpec ParseSizeSpec(std::wstring_view text) {
    if (text == L"fill") return {SizeSpec::Mode::Fill, 0};
    if (text == L"auto") return {SizeSpec::Mode::Auto, 0};
    if (text.starts_with(L':')) return {SizeSpec::Mode::Weight, std::clamp(ParseInt(text.substr(1), 1), 1, kMaxLength)};
    const int v = ParseInt(text, -1);
    if (v < 0) return {};
    return {SizeSpec::Mode::Pixels, std::min(v, kMaxLength)};
}

Box ParseBox(std::wstring_view text) {
    const auto v = ParseIntList(text);
    if (v.size() >= 4) return {Length(v[0]), Length(v[1]), Length(v[2]), Length(v[3])};
    if (v.size() == 1) return {Length(v[0]), Length(v[0]), Length(v[0]), Length(v[0])};
    return {};
}

Align ParseAlign(std::wstring_view text) {
    if (text == L"left" || text == L"top" || text == L"start") return Align::Start;
    if (text == L"center") return Align::Center;
    if (text == L"right" || text == L"bottom" || text == L"end") return Align::End;
    return Align::Unset;
}

namespace {

std::optional<Kind> KindOf(std::string_view tag) {
    if (tag == "layoutEleUI") return Kind::Layout;
    if (tag == "buttonUI") return Kind::Button;
    if (tag == "shapeText") return Kind::ShapeText;
    if (tag == "textLinkUI") return Kind::TextLink;
    if (tag == "editUI") return Kind::Edit;
    if (tag == "progressBarUI") return Kind::ProgressBar;
    return std::nullopt;
}

class Reader {
public:
    explicit Reader(const Resources& res) : res_(res) {}

    std::optional<Argb> Colour(std::wstring_view v) const {
        if (v.empty()) return std::nullopt;
        if (v.starts_with(L'@')) {
            auto it = res_.colours.find(std::wstring(v.substr(1)));
            if (it == res_.colours.end()) return std::nullopt;
            return it->second;
        }
        return ArgbFromLibraryColour(ParseInt(v));
    }

    Background Bk(std::wstring_view v) const {
        if (v.starts_with(L'@')) {
            auto it = res_.backgrounds.find(std::wstring(v.substr(1)));
            if (it == res_.backgrounds.end()) return {};
            v = it->second;
        }
        return ParseBackground(v).value_or(Background{});
    }

    int Id(std::wstring_view v) const {
        if (v.starts_with(L'@')) {
            auto it = res_.ids.find(std::wstring(v.substr(1)));
            return it == res_.ids.end() ? 0 : it->second;
        }
        return ParseInt(v);
    }

    void Common(const pugi::xml_node& n, Element& e) const {
        for (auto a : n.attributes()) {
            const std::string_view key = a.name();
            const std::wstring value = Utf8ToWide(a.value());
            const bool yes = value == L"true";
            if (key == "name") e.name = value;
            else if (key == "id") e.id = Id(value);
            else if (key == "rect") {
                const auto r = ParseIntList(value);
                if (r.size() >= 4)
                    e.designRect = {Length(r[0]), Length(r[1]), std::clamp(r[2], 0, kMaxLength),
                                    std::clamp(r[3], 0, kMaxLength)};
            } else if (key == "content") e.text = value;
            else if (key == "layout.width") e.width = ParseSizeSpec(value);
            else if (key == "layout.height") e.height = ParseSizeSpec(value);
            else if (key == "layout.margin") e.margin = ParseBox(value);
            else if (key == "padding") e.padding = ParseBox(value);
            else if (key == "layout.horizon") e.horizontal = yes;
            else if (key == "layout.alignH") e.alignH = ParseAlign(value);
            else if (key == "layout.alignV") e.alignV = ParseAlign(value);
            else if (key == "layout.alignBaseline") e.alignBaseline = ParseAlign(value);
            else if (key == "layout.float") e.floating = yes;
            else if (key == "show") e.shown = yes;
            else if (key == "enable") e.enabled = yes;
            else if (key == "bkInfoM") e.background = Bk(value);
            else if (key == "font") {
                if (auto it = res_.fonts.find(value.substr(value.starts_with(L'@') ? 1 : 0)); it != res_.fonts.end())
                    e.font = it->second;
            } else if (key == "textColor") {
                if (auto c = Colour(value)) e.textColour = *c;
            } else if (key == "textColorStay") e.textColourStay = Colour(value);
            else if (key == "underlineLeave") e.underlineLeave = yes;
            else if (key == "underlineStay") e.underlineStay = yes;
            else if (key == "cursor") e.handCursor = value == L"IDC_HAND";
            else if (key == "buttonType") {
                e.buttonType = value == L"check"   ? ButtonType::Check
                               : value == L"radio" ? ButtonType::Radio
                               : value == L"close" ? ButtonType::Close
                                                   : ButtonType::Default;
            } else if (key == "style") {
                e.checkStyle = value == L"check";
                e.closeStyle = value == L"close";
            } else if (key == "check") e.checked = yes;
            else if (key == "bindEle") e.bindId = Id(value);
            else if (key == "progressBar.pos") e.position = std::clamp(ParseInt(value), 0, 100);
            else if (key == "progressBar.colorLoad") {
                if (auto c = Colour(value)) e.loadColour = *c;
            }
        }
        if (e.kind == Kind::TextLink) e.handCursor = true;
    }

    void Children(const pugi::xml_node& n, Element& parent, int depth) const {
        if (depth > 64) return;  // hostile nesting
        for (auto c : n.children()) {
            if (c.type() != pugi::node_element) continue;
            auto kind = KindOf(c.name());
            if (!kind) continue;
            auto e = std::make_unique<Element>();
            e->kind = *kind;
            e->parent = &parent;
            Common(c, *e);
            Children(c, *e, depth + 1);
            parent.children.push_back(std::move(e));
        }
    }

private:
    const Resources& res_;
};

}  // namespace

std::optional<ParsedLayout> ParseLayout(std::string_view xml, const Resources& resources) {
    pugi::xml_document doc;
    if (!doc.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_utf8)) return std::nullopt;
    const auto node = doc.child("windowUI");
    if (!node) return std::nullopt;

    Reader reader(resources);
    ParsedLayout out;
    out.root = std::make_unique<Element>();
    Element& root = *out.root;
    root.kind = Kind::Window;
    reader.Common(node, root);
    root.shown = true;
    root.horizontal = false;

    WindowSpec& w = out.window;
    const auto r = ParseIntList(Utf8ToWide(node.attribute("rect").value()));
    if (r.size() >= 4 && r[2] > 0 && r[3] > 0 && r[2] < 10000 && r[3] < 10000) w.size = {r[2], r[3]};
    w.caption = root.text;
    w.centre = std::string_view(node.attribute("center").value()) == "true";
    if (std::string_view(node.attribute("transparentFlag").value()) == "shadow")
        w.shadowSize = std::clamp(node.attribute("shadowSize").as_int(0), 0, 50);
    if (auto c = reader.Colour(Utf8ToWide(node.attribute("shadowColor").value()))) w.shadowColour = *c;
    w.shadowDepth = std::clamp(node.attribute("shadowDepth").as_int(255), 0, 255);
    if (w.shadowSize * 2 >= std::min(w.size.w, w.size.h)) w.shadowSize = 0;

    reader.Children(node, root, 0);
    return out;
}

}  // namespace xcgui
