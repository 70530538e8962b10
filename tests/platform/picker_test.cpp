#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/folder_picker.h"

using namespace varnel;

namespace {

TEST(SplitFilterStrings, PairsUpToTheFirstEmptyString) {
    using Strings = std::vector<std::wstring>;
    using namespace std::string_view_literals;
    EXPECT_EQ(SplitFilterStrings(L""sv), (Strings{L"所有文件", L"*.*"}));
    EXPECT_EQ(SplitFilterStrings(L"Text\0*.txt\0\0"sv), (Strings{L"Text", L"*.txt"}));
    EXPECT_EQ(SplitFilterStrings(L"Text\0*.txt\0All\0*.*"sv), (Strings{L"Text", L"*.txt", L"All", L"*.*"}));
    EXPECT_EQ(SplitFilterStrings(L"a\0b\0c\0"sv), (Strings{L"a", L"b", L"c"}));
    EXPECT_EQ(SplitFilterStrings(L"a\0\0b\0c"sv), (Strings{L"a"}));
}

TEST(RunFileDialog, OddFilterShowsNothingAndReturnsZero) {
    FileDialogOptions options;
    options.filter = std::wstring(L"Text\0*.txt\0Odd\0", 15);
    std::vector<std::wstring> paths = {L"stale"};
    EXPECT_EQ(RunFileDialog(options, paths), 0);
    EXPECT_TRUE(paths.empty());
}

}  // namespace
