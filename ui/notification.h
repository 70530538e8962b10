// Short notices as popups drawn by the UI library inside the window.
#pragma once

#include <string_view>

#include "startup/ui_library.h"

namespace varnel {

// The skin for a notification kind: "成功" 1, "错误" 4, "警告" 2, else 3.
int NotificationSkin(std::string_view kind);

// Owner 0 stands for the installer window.
void ShowNotification(std::string_view message, std::string_view kind, xc::Handle owner = 0);

}  // namespace varnel
