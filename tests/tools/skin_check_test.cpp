// The skin check on the shipped UI package and on packages made from it with
// one fault each. usage: skin_check_test <ui_package.zip> [gtest options]
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>
#include <unzip.h>
#include <zlib.h>

#include "tools/skin_check.h"
#include "xcgui/utf8.h"

namespace {

using varnel::CheckSkin;
using Bytes = std::vector<std::uint8_t>;

std::string g_shippedPath;

struct Entry {
    std::string name;
    Bytes data;
};

std::vector<Entry> ReadEntries(const std::string& path) {
    std::vector<Entry> entries;
    unzFile zip = unzOpen64(path.c_str());
    if (!zip) return entries;
    for (int rc = unzGoToFirstFile(zip); rc == UNZ_OK; rc = unzGoToNextFile(zip)) {
        unz_file_info info{};
        char name[512] = {};
        unzGetCurrentFileInfo(zip, &info, name, sizeof name - 1, nullptr, 0, nullptr, 0);
        Entry e{name, Bytes(info.uncompressed_size)};
        unzOpenCurrentFile(zip);
        unzReadCurrentFile(zip, e.data.data(), static_cast<unsigned>(e.data.size()));
        unzCloseCurrentFile(zip);
        entries.push_back(std::move(e));
    }
    unzClose(zip);
    return entries;
}

void Put16(Bytes& out, unsigned v) {
    out.push_back(v & 0xFF);
    out.push_back((v >> 8) & 0xFF);
}
void Put32(Bytes& out, unsigned long v) {
    Put16(out, v & 0xFFFF);
    Put16(out, (v >> 16) & 0xFFFF);
}

// A stored ZIP with UTF-8 names.
Bytes Zip(const std::vector<Entry>& entries) {
    Bytes out, directory;
    for (const auto& e : entries) {
        const unsigned long crc = crc32(0, e.data.data(), static_cast<uInt>(e.data.size()));
        const unsigned long offset = out.size();
        for (Bytes* header : {&out, &directory}) {
            const bool central = header == &directory;
            Put32(*header, central ? 0x02014b50 : 0x04034b50);
            if (central) Put16(*header, 20);
            Put16(*header, 20);
            Put16(*header, 0x800);
            Put16(*header, 0);  // stored
            Put32(*header, 0);  // time and date
            Put32(*header, crc);
            Put32(*header, e.data.size());
            Put32(*header, e.data.size());
            Put16(*header, e.name.size());
            Put16(*header, 0);
            if (central) {
                for (int i = 0; i < 3; ++i) Put16(*header, 0);  // comment, disk, internal attributes
                Put32(*header, 0);                              // external attributes
                Put32(*header, offset);
            }
            header->insert(header->end(), e.name.begin(), e.name.end());
        }
        out.insert(out.end(), e.data.begin(), e.data.end());
    }
    const unsigned long directoryOffset = out.size();
    out.insert(out.end(), directory.begin(), directory.end());
    Put32(out, 0x06054b50);
    Put32(out, 0);
    Put16(out, entries.size());
    Put16(out, entries.size());
    Put32(out, directory.size());
    Put32(out, directoryOffset);
    Put16(out, 0);
    return out;
}

struct StringWriter : pugi::xml_writer {
    std::string text;
    void write(const void* data, size_t size) override { text.append(static_cast<const char*>(data), size); }
};

pugi::xml_node Named(pugi::xml_node node, std::string_view name) {
    for (auto child : node.children()) {
        if (name == child.attribute("name").value()) return child;
        if (auto found = Named(child, name)) return found;
    }
    return {};
}

bool Mentions(const std::vector<std::string>& messages, std::string_view a, std::string_view b = {}) {
    return std::any_of(messages.begin(), messages.end(), [&](const std::string& m) {
        return m.find(a) != std::string::npos && m.find(b) != std::string::npos;
    });
}

std::string Lines(const std::vector<std::string>& messages) {
    std::string out;
    for (const auto& m : messages) out += "\n  " + m;
    return out;
}

// The shipped package's entries, stored afresh, after `change` edited the
// layout and the entry list.
class SkinCheck : public testing::Test {
protected:
    void SetUp() override {
        entries_ = ReadEntries(g_shippedPath);
        ASSERT_GE(entries_.size(), 3u) << g_shippedPath;
        const Bytes& xml = Find("main.xml")->data;
        ASSERT_TRUE(layout_.load_buffer(xml.data(), xml.size()));
    }

    Entry* Find(std::string_view name) {
        auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.name == name; });
        return it == entries_.end() ? nullptr : &*it;
    }
    void Drop(std::string_view name) {
        std::erase_if(entries_, [&](const Entry& e) { return e.name == name; });
    }
    pugi::xml_node Element(std::string_view name) {
        auto node = Named(layout_, name);
        EXPECT_TRUE(node) << name;
        return node;
    }
    varnel::SkinReport Check() {
        if (Entry* main = Find("main.xml")) {
            StringWriter writer;
            layout_.save(writer);
            main->data.assign(writer.text.begin(), writer.text.end());
        }
        return CheckSkin(Zip(entries_));
    }

    std::vector<Entry> entries_;
    pugi::xml_document layout_;
};

TEST_F(SkinCheck, ShippedPackagePasses) {
    std::ifstream file(g_shippedPath, std::ios::binary);
    const Bytes shipped{std::istreambuf_iterator<char>(file), {}};
    const auto report = CheckSkin(shipped);
    EXPECT_TRUE(report.problems.empty()) << Lines(report.problems);
    EXPECT_TRUE(report.warnings.empty()) << Lines(report.warnings);
    // Stored afresh, unchanged, it still passes: the faults below are the only difference.
    EXPECT_TRUE(Check().problems.empty());
}

TEST_F(SkinCheck, EachMissingElementIsNamedOnce) {
    auto quick = Element("按钮_快速安装");
    quick.parent().remove_child(quick);
    Element("进度条_1").attribute("name").set_value("进度条_2");
    const auto problems = Check().problems;
    EXPECT_EQ(problems.size(), 2u) << Lines(problems);
    EXPECT_TRUE(Mentions(problems, "\"按钮_快速安装\"", "no element")) << Lines(problems);
    EXPECT_TRUE(Mentions(problems, "\"进度条_1\"", "no element")) << Lines(problems);
}

TEST_F(SkinCheck, ElementsOfTheWrongKindAreNamed) {
    Element("按钮_用户协议").set_name("textLinkUI");
    Element("按钮_快捷方式").remove_attribute("buttonType");  // still drawn as a check box, never toggled
    Element("按钮_立即体验").attribute("buttonType").set_value("close");
    // The library finds the first of a name: a label of that name before the button hides it.
    auto browse = Element("按钮_浏览");
    browse.parent().prepend_child("shapeText").append_attribute("name") = "按钮_浏览";
    const auto problems = Check().problems;
    EXPECT_EQ(problems.size(), 4u) << Lines(problems);
    EXPECT_TRUE(Mentions(problems, "\"按钮_用户协议\" is a text link", "check box")) << Lines(problems);
    EXPECT_TRUE(Mentions(problems, "\"按钮_快捷方式\"", "not toggle")) << Lines(problems);
    EXPECT_TRUE(Mentions(problems, "\"按钮_立即体验\"", "close")) << Lines(problems);
    EXPECT_TRUE(Mentions(problems, "\"按钮_浏览\" is a shape text")) << Lines(problems);
}

TEST_F(SkinCheck, ClickedElementsMayBeButtonsOrTextLinks) {
    Element("按钮_自定义安装").set_name("buttonUI");
    Element("按钮_快速安装").set_name("textLinkUI");
    EXPECT_TRUE(Check().problems.empty());
}

TEST_F(SkinCheck, PackagesTheLibraryCannotLoadAreRefused) {
    const Bytes notZip(4096, 'x');
    EXPECT_TRUE(Mentions(CheckSkin(notZip).problems, "not a readable ZIP"));

    Drop("resource.res");
    auto problems = Check().problems;
    ASSERT_EQ(problems.size(), 1u) << Lines(problems);  // the layout still loads and is checked
    EXPECT_TRUE(Mentions(problems, "no resource.res"));

    SetUp();
    Bytes& xml = Find("main.xml")->data;
    xml.resize(xml.size() / 2);
    problems = CheckSkin(Zip(entries_)).problems;
    ASSERT_EQ(problems.size(), 1u) << Lines(problems);
    EXPECT_TRUE(Mentions(problems, "main.xml: malformed XML"));

    const std::string other = "<?xml version=\"1.0\"?><window/>";
    xml.assign(other.begin(), other.end());
    problems = CheckSkin(Zip(entries_)).problems;
    ASSERT_EQ(problems.size(), 1u) << Lines(problems);
    EXPECT_TRUE(Mentions(problems, "main.xml: no <windowUI>"));
}

TEST_F(SkinCheck, MissingPicturesAreWarnings) {
    Drop("img\\背景图（大）.png");
    const auto report = Check();
    EXPECT_TRUE(report.problems.empty()) << Lines(report.problems);
    EXPECT_TRUE(Mentions(report.warnings, "背景图（大）.png", "does not hold")) << Lines(report.warnings);
}

// The neutral UTF-8 conversion the parsers use, on both widths of wchar_t.
TEST(NeutralUtf8, DecodesAndEncodesForSixteenAndThirtyTwoBitCharacters) {
    const std::string text = "按钮_A\xF0\x9F\x98\x80";  // U+1F600 needs a surrogate pair in UTF-16
    EXPECT_EQ(xcgui::DecodeUtf8<char16_t>(text), u"按钮_A\U0001F600");
    EXPECT_EQ(xcgui::DecodeUtf8<char32_t>(text), U"按钮_A\U0001F600");
    EXPECT_EQ(xcgui::EncodeUtf8(std::u16string_view(u"按钮_A\U0001F600")), text);
    EXPECT_EQ(xcgui::EncodeUtf8(std::u32string_view(U"按钮_A\U0001F600")), text);
    // Ill-formed: a truncated sequence, an encoded surrogate, a stray continuation; a lone surrogate.
    EXPECT_EQ(xcgui::DecodeUtf8<char16_t>("a\xE6\x8C" "b\xED\xA0\x80\x80"), u"a\uFFFDb\uFFFD\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(xcgui::EncodeUtf8(std::u16string_view(u"a\xD800" "b")), "a\xEF\xBF\xBD" "b");
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: skin_check_test <ui_package.zip> [gtest options]\n");
        return 2;
    }
    g_shippedPath = argv[1];
    return RUN_ALL_TESTS();
}
