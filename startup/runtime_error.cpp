#include "startup/runtime_error.h"

#include <windows.h>

#include "startup/program.h"
#include "startup/text.h"

namespace varnel {
namespace {

RuntimeErrorHandler gHandler = nullptr;

}  // namespace

std::string RuntimeErrorText(std::string_view message, int errorCode, int position1, int position2) {
    std::string text = "运行时出错!\r\n";
    if (errorCode != 0) text += JoinTexts("\r\n错误代码：", std::to_string(errorCode), "\r\n");
    if (!message.empty()) text += JoinTexts("\r\n错误信息：", message, "\r\n");
    text += JoinTexts("\r\n", std::to_string(position1), ", ", std::to_string(position2), "\r\n");
    return text;
}

std::string BindingFailureMessage(std::string_view library, std::string_view exportName) {
    if (library.empty()) return JoinTexts("无法找到指定DLL库文件中的输出命令“", exportName, "”");
    return JoinTexts("无法找到指定DLL库文件“", library, "”中的输出命令“", exportName, "”");
}

void RuntimeError(std::string_view message, int errorCode, int position1, int position2) {
    const std::string text = RuntimeErrorText(message, errorCode, position1, position2);
    if (gHandler) gHandler(text);
    MessageBoxA(nullptr, text.c_str(), "错误", MB_ICONERROR);
    EndProcess(-1);
}

void SetRuntimeErrorHandler(RuntimeErrorHandler handler) { gHandler = handler; }

}  // namespace varnel
