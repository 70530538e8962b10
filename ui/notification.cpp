#include "ui/notification.h"

#include "startup/external.h"
#include "startup/program.h"
#include "ui/window.h"

namespace varnel {

int NotificationSkin(std::string_view kind) {
    if (kind == "成功") return xc::kSkinSuccess;
    if (kind == "错误") return xc::kSkinError;
    if (kind == "警告") return xc::kSkinWarning;
    return xc::kSkinInfo;
}

void ShowNotification(std::string_view message, std::string_view kind, xc::Handle owner) {
    const int skin = NotificationSkin(kind);
    if (owner == 0) owner = Program().windowHandle;
    const std::wstring title = ToWide("通知");
    const std::wstring text = ToWide(message);
    ext::XNotifyMsg_WindowPopupEx(owner, 1, title.c_str(), text.c_str(), 0, skin, 1, 1, -1, -1);
}

}  // namespace varnel
