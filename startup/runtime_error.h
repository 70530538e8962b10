// The runtime error box: shows the error and ends the process with -1.
#pragma once

#include <string>
#include <string_view>

namespace varnel {

// The box text, built in the fixed order of its pieces.
std::string RuntimeErrorText(std::string_view message, int errorCode, int position1, int position2);

// "无法找到指定DLL库文件“lib”中的输出命令“export”" (or the form without a library).
std::string BindingFailureMessage(std::string_view library, std::string_view exportName);

[[noreturn]] void RuntimeError(std::string_view message, int errorCode, int position1, int position2);

// Tests replace what the box does (show and end) with their own handler,
// which must not return (it may throw into the test's own frame).
using RuntimeErrorHandler = void (*)(const std::string& text);
void SetRuntimeErrorHandler(RuntimeErrorHandler handler);

}  // namespace varnel
