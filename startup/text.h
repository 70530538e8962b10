// Text and buffer helpers used across the program. Text is GBK (code page
// 936) in std::string; wide text is UTF-16 in std::wstring.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace varnel {

using Bytes = std::vector<std::uint8_t>;

// Texts joined in order; always a new text.
template <typename... Parts>
std::string JoinTexts(const Parts&... parts) {
    std::string joined;
    (joined.append(std::string_view(parts)), ...);
    return joined;
}

// Buffers joined in order; empty ones add nothing.
template <typename... Parts>
Bytes JoinBuffers(const Parts&... parts) {
    Bytes joined;
    (joined.insert(joined.end(), std::begin(parts), std::end(parts)), ...);
    return joined;
}

// GBK -> UTF-16. With dropTerminator false the result ends with one explicit
// L'\0' (so its size counts the terminator, as the byte form does); with true
// it holds only the characters before the first 0. Empty text -> empty result.
std::wstring TextToUtf16(std::string_view text, bool dropTerminator = false);

// The text in the system's ANSI code page, as the A-form system calls take
// paths; empty unless every character has its exact counterpart there: an
// approximated path ('?' for what is missing) would lead somewhere else.
std::string ExactAnsiText(std::wstring_view wide);

// ANSI code page text (as the A-form system calls and ExactAnsiText give
// it) -> UTF-16; empty for empty text.
std::wstring AnsiTextToUtf16(std::string_view text);

// The part of a UTF-16 byte buffer before its first 0 character, followed by
// two 0 bytes when appendTerminator is set. Odd or short buffers are handled
// as the byte form allows.
Bytes CutAtWideNul(std::span<const std::uint8_t> buffer, bool appendTerminator);

// Bytes of a wide text (without adding anything).
Bytes WideBytes(const std::wstring& wide);

// A wide text as Windows takes it: its characters, or null when empty.
inline const wchar_t* WidePointer(const std::wstring& wide) { return wide.empty() ? nullptr : wide.c_str(); }

// True when the path names an existing entry that is not a directory.
bool FileExists(std::string_view path);

// Creates or truncates the file and writes all bytes. False when the name is
// empty or the file cannot be opened or written.
bool WriteBufferToFile(std::string_view path, std::span<const std::uint8_t> bytes);

}  // namespace varnel
