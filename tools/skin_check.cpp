#include "skin_check.h"

#include <initializer_list>
#include <optional>
#include <set>
#include <string_view>

#include <pugixml.hpp>

#include "element.h"
#include "layout_parser.h"
#include "resources.h"
#include "ui/element_names.h"
#include "zip_memory.h"

namespace varnel {

namespace {

using element_names::Use;
using xcgui::Element;
using xcgui::Kind;

constexpr const wchar_t* kLayoutFile = L"main.xml";
constexpr const wchar_t* kResourceFile = L"resource.res";

std::string Join(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (auto part : parts) out += part;
    return out;
}

std::string Quoted(std::string_view text) { return Join({"\"", text, "\""}); }

std::string_view AsText(const std::vector<std::uint8_t>& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// The library's parsers only say yes or no; pugixml says where XML breaks.
std::string WhyNot(std::string_view xml, const char* root) {
    pugi::xml_document doc;
    const auto parsed = doc.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_utf8);
    if (!parsed)
        return Join({"malformed XML at byte ", std::to_string(parsed.offset), " (", parsed.description(), ")"});
    return Join({"no <", root, "> root element"});
}

// The entry's bytes, or a problem saying why there are none.
std::optional<std::vector<std::uint8_t>> Entry(xcgui::ZipPackage& package, const wchar_t* name,
                                               std::vector<std::string>& problems) {
    auto bytes = package.Read(name);
    if (!bytes) {
        const std::string shown = xcgui::WideToUtf8(name);
        problems.push_back(package.Has(name) ? Join({shown, ": cannot be read (damaged or encrypted)"})
                                             : Join({"the package holds no ", shown}));
    }
    return bytes;
}

std::string_view Purpose(Use use) {
    switch (use) {
        case Use::Page: return "a page the installer shows";
        case Use::Clicked: return "a button the installer clicks";
        case Use::CheckBox: return "a check box the installer reads";
        case Use::Edit: return "the edit box for the install folder";
        case Use::Label: return "a shape text the installer writes";
        case Use::Progress: return "the installer's progress bar";
    }
    return {};
}

std::string_view Needed(Use use) {
    switch (use) {
        case Use::Page: return "a layout element";
        case Use::Clicked: return "a button or a text link";
        case Use::CheckBox: return "a check box (a button with buttonType \"check\")";
        case Use::Edit: return "an edit box";
        case Use::Label: return "a shape text";
        case Use::Progress: return "a progress bar";
    }
    return {};
}

std::string_view KindName(const Element& e) {
    switch (e.kind) {
        case Kind::Window: return "the window";
        case Kind::Layout: return "a layout element";
        case Kind::Button: return "a button";
        case Kind::ShapeText: return "a shape text";
        case Kind::TextLink: return "a text link";
        case Kind::Edit: return "an edit box";
        case Kind::ProgressBar: return "a progress bar";
    }
    return "an element";
}

// What is wrong with the element for that use, or nullopt. These follow the
// library's exports: XBtn_IsCheck answers only for buttons and a click
// toggles only a check-type button; clicks reach buttons and text links; the
// text and position setters ignore other kinds.
std::optional<std::string> Misfit(const Element& e, Use use) {
    switch (use) {
        case Use::Page:
            if (e.kind == Kind::Layout) return std::nullopt;
            break;
        case Use::Clicked:
            if (e.IsClose()) return "is the window's close button; a click on it closes the window";
            if (e.kind == Kind::Button || e.kind == Kind::TextLink) return std::nullopt;
            break;
        case Use::CheckBox:
            if (e.kind == Kind::Button && e.buttonType == xcgui::ButtonType::Check) return std::nullopt;
            if (e.kind == Kind::Button)
                return Join({"is a button that a click does not toggle; the installer needs ", Needed(use)});
            break;
        case Use::Edit:
            if (e.kind == Kind::Edit) return std::nullopt;
            break;
        case Use::Label:
            if (e.kind == Kind::ShapeText) return std::nullopt;
            break;
        case Use::Progress:
            if (e.kind == Kind::ProgressBar) return std::nullopt;
            break;
    }
    return Join({"is ", KindName(e), "; the installer needs ", Needed(use)});
}

// The installer's look-up: the first element of that name in tree order,
// the window included.
const Element* Find(const Element& root, const std::wstring& name) {
    if (root.name == name) return &root;
    for (const auto& child : root.children)
        if (const Element* found = Find(*child, name)) return found;
    return nullptr;
}

void CheckElements(const Element& root, std::vector<std::string>& problems) {
    for (const auto& [name, use] : element_names::kLookedUp) {
        const Element* e = Find(root, xcgui::Utf8ToWide(name));
        if (!e)
            problems.push_back(Join({"main.xml: no element named ", Quoted(name), " (", Purpose(use), ")"}));
        else if (auto why = Misfit(*e, use))
            problems.push_back(Join({"main.xml: ", Quoted(name), " ", *why}));
    }
}

// Pictures the library would draw as nothing because the package lacks them.
void CheckPictures(const xcgui::Resources& resources, xcgui::ZipPackage& package,
                   std::vector<std::string>& warnings) {
    std::set<std::wstring> unreadable;
    for (const auto& [name, image] : resources.images) {
        if (!unreadable.contains(image.file) && package.Read(image.file)) continue;
        unreadable.insert(image.file);
        warnings.push_back(Join({"resource.res: image ", Quoted(xcgui::WideToUtf8(name)), " names ",
                                 Quoted(xcgui::WideToUtf8(image.file)), ", which the package ",
                                 package.Has(image.file) ? "holds damaged" : "does not hold",
                                 "; it is drawn as nothing"}));
    }
}

}  // namespace

SkinReport CheckSkin(std::span<const std::uint8_t> uiPackageZip) {
    SkinReport report;
    auto& problems = report.problems;
    xcgui::ZipPackage package(uiPackageZip.data(), uiPackageZip.size(), L"");
    if (!package.Valid()) {
        problems.push_back("the UI package is not a readable ZIP archive");
        return report;
    }

    // Without its resources the library still loads the layout, so the
    // elements are checked either way.
    xcgui::Resources resources;
    if (const auto bytes = Entry(package, kResourceFile, problems)) {
        if (auto parsed = xcgui::ParseResources(AsText(*bytes))) {
            resources = std::move(*parsed);
            CheckPictures(resources, package, report.warnings);
        } else {
            problems.push_back(Join({"resource.res: ", WhyNot(AsText(*bytes), "resources")}));
        }
    }
    if (const auto bytes = Entry(package, kLayoutFile, problems)) {
        if (const auto layout = xcgui::ParseLayout(AsText(*bytes), resources))
            CheckElements(*layout->root, problems);
        else
            problems.push_back(Join({"main.xml: ", WhyNot(AsText(*bytes), "windowUI")}));
    }
    return report;
}

std::vector<std::string> SkinProblems(std::span<const std::uint8_t> uiPackageZip) {
    return CheckSkin(uiPackageZip).problems;
}

}  // namespace varnel
