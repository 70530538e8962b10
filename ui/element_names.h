// The elements the installer looks up by name in the UI package's layout,
// and what it does with each. The installer compiles these names to GBK
// (the text the UI library's ANSI conversion takes); the packer's skin check
// compiles them as UTF-8 and compares them with the layout's names.
#pragma once

namespace varnel::element_names {

// The pages, shown one at a time.
inline constexpr const char* kPages[4] = {"布局元素_1", "布局元素_2", "布局元素_3", "布局元素_4"};

// Clicked: the installer registers its click handler on each.
inline constexpr const char* kQuickInstall = "按钮_快速安装";
inline constexpr const char* kCustomInstall = "按钮_自定义安装";
inline constexpr const char* kBrowse = "按钮_浏览";
inline constexpr const char* kInstallNow = "按钮_立即安装";
inline constexpr const char* kBack = "按钮_返回";
inline constexpr const char* kStartApplication = "按钮_立即体验";
inline constexpr const char* kClicked[6] = {kQuickInstall, kCustomInstall, kBrowse,
                                            kInstallNow,   kBack,          kStartApplication};

// Check boxes the installer reads.
inline constexpr const char* kShortcutBox = "按钮_快捷方式";
inline constexpr const char* kAgreementBox = "按钮_用户协议";

inline constexpr const char* kLocationEdit = "编辑框_安装位置";

// Shape texts the installer writes.
inline constexpr const char* kVersionLabel = "标签_3";
inline constexpr const char* kTitleLabel = "标签_标题";
inline constexpr const char* kPathLabel = "标签_安装路径";
inline constexpr const char* kStatusLabel = "标签_安装状态";

inline constexpr const char* kProgressBar = "进度条_1";

enum class Use { Page, Clicked, CheckBox, Edit, Label, Progress };

struct LookedUp {
    const char* name;
    Use use;
};

// Every element above, once.
inline constexpr LookedUp kLookedUp[] = {
    {kPages[0], Use::Page},
    {kPages[1], Use::Page},
    {kPages[2], Use::Page},
    {kPages[3], Use::Page},
    {kQuickInstall, Use::Clicked},
    {kCustomInstall, Use::Clicked},
    {kBrowse, Use::Clicked},
    {kInstallNow, Use::Clicked},
    {kBack, Use::Clicked},
    {kStartApplication, Use::Clicked},
    {kShortcutBox, Use::CheckBox},
    {kAgreementBox, Use::CheckBox},
    {kLocationEdit, Use::Edit},
    {kVersionLabel, Use::Label},
    {kTitleLabel, Use::Label},
    {kPathLabel, Use::Label},
    {kStatusLabel, Use::Label},
    {kProgressBar, Use::Progress},
};

}  // namespace varnel::element_names
