// What an archive entry's name may be and how it is read, for the installer's
// reader and for the packers that check an archive before it ships. Nothing
// here calls the system: names are GBK bytes, as code page 936 reads them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace varnel {

// Bytes of any path the installer composes (MAX_PATH less its terminator).
inline constexpr std::size_t kMaxPathBytes = 259;

inline bool IsGbkLeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }
inline bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Calls visit(offset) for each character start of a GBK text, so a trail
// byte that happens to be 0x5C is never taken for a backslash; visit returns
// false to stop.
template <typename F>
void ForEachCharacter(std::string_view text, F&& visit) {
    for (std::size_t i = 0; i < text.size();) {
        const bool dbcs = IsGbkLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size();
        if (!visit(i)) return;
        i += dbcs ? 2 : 1;
    }
}

// Position of the last "\" or "/", or npos.
std::size_t LastSeparator(std::string_view text);

// The stored name with drive prefixes, leading separators and everything up
// to a "\..\"-style step removed, as far as those rules reach.
std::string CleanEntryName(std::string_view stored);

// FILE_ATTRIBUTE_* bits from the version-made-by field and the external
// attributes.
inline constexpr std::uint32_t kAttributeReadOnly = 0x1, kAttributeHidden = 0x2, kAttributeSystem = 0x4,
                               kAttributeDirectory = 0x10, kAttributeArchive = 0x20;
std::uint32_t EntryAttributes(std::uint32_t versionMadeBy, std::uint32_t externalAttributes);

// Names Windows reads as devices in any folder (CON, LPT1, CONIN$, ...).
bool IsDeviceName(std::string_view component);

// True when a relative target name stays below the directory it is put
// under: no ".." step (nor a dots-and-blanks step Windows would read as one),
// no ":" (drives, alternate streams) and no device name such as CON or LPT1.
bool StaysBelowBase(std::string_view relativeName);

// True when the name begins with "\" or "/" or has ":" as its second byte.
bool IsAbsoluteName(std::string_view name);

// Why an entry of this stored name cannot be installed as it is; empty when
// it can. `shortestBase` is the shortest install folder the name must fit
// under within kMaxPathBytes. Covers what the reader refuses or changes
// (leading out, drives, devices, names it would clean) and what Windows
// cannot create (control characters, <>"|?*, a blank or dot at an end).
std::string EntryNameProblem(std::string_view stored, std::size_t shortestBase);

}  // namespace varnel
