#include "install/entry_rules.h"

#include <array>
#include <cctype>

namespace varnel {
namespace {

std::size_t FindCharacterAligned(std::string_view text, std::string_view pattern) {
    std::size_t found = std::string_view::npos;
    ForEachCharacter(text, [&](std::size_t i) {
        if (text.substr(i, pattern.size()) == pattern) {
            found = i;
            return false;
        }
        return true;
    });
    return found;
}

constexpr const char* kDotsOnly = "a level of dots and blanks only";

// Why Windows cannot hold this one level of a name; empty when it can.
std::string ComponentProblem(std::string_view component) {
    if (component.empty()) return "an empty folder level";
    std::string problem;
    ForEachCharacter(component, [&](std::size_t i) {
        const auto c = static_cast<unsigned char>(component[i]);
        if (c < 0x20) problem = "a control character";
        else if (std::string_view("<>:\"|?*").find(static_cast<char>(c)) != std::string_view::npos)
            problem = std::string("the character ") + static_cast<char>(c);
        return problem.empty();
    });
    if (!problem.empty()) return problem;
    if (component.find_first_not_of(". ") == std::string_view::npos) return kDotsOnly;
    if (component.back() == ' ' || component.back() == '.') return "a blank or a dot at its end";
    if (IsDeviceName(component)) return "a device name (" + std::string(component.substr(0, component.find('.'))) + ")";
    return {};
}

}  // namespace

std::size_t LastSeparator(std::string_view text) {
    std::size_t last = std::string_view::npos;
    ForEachCharacter(text, [&](std::size_t i) {
        if (IsSeparator(text[i])) last = i;
        return true;
    });
    return last;
}

std::string CleanEntryName(std::string_view stored) {
    static constexpr std::array<std::string_view, 4> kSteps = {"\\..\\", "\\../", "/../", "/..\\"};
    std::string_view rest = stored.substr(0, stored.find('\0'));
    for (bool changed = true; changed && !rest.empty();) {
        changed = true;
        if (rest.size() >= 2 && rest[1] == ':') {
            rest.remove_prefix(2);
        } else if (IsSeparator(rest[0])) {
            rest.remove_prefix(1);
        } else {
            changed = false;
            for (std::string_view step : kSteps) {
                const std::size_t at = FindCharacterAligned(rest, step);
                if (at != std::string_view::npos) {
                    rest.remove_prefix(at + step.size());
                    changed = true;
                    break;
                }
            }
        }
    }
    return std::string(rest);
}

std::uint32_t EntryAttributes(std::uint32_t versionMadeBy, std::uint32_t externalAttributes) {
    switch (versionMadeBy >> 8) {
        case 0: case 7: case 11: case 14:  // DOS/Windows-like hosts keep the FAT bits
            return externalAttributes & (kAttributeDirectory | kAttributeArchive | kAttributeHidden |
                                         kAttributeReadOnly | kAttributeSystem);
        default: {  // Unix-like: the mode sits in the upper half
            std::uint32_t attributes = kAttributeArchive;
            if (externalAttributes & 0x40000000) attributes |= kAttributeDirectory;
            if (!(externalAttributes & 0x800000)) attributes |= kAttributeReadOnly;
            return attributes;
        }
    }
}

bool IsDeviceName(std::string_view component) {
    std::string stem(component.substr(0, component.find('.')));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" || stem == "CONIN$" || stem == "CONOUT$")
        return true;
    return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) &&
           std::isdigit(static_cast<unsigned char>(stem[3]));
}

bool StaysBelowBase(std::string_view name) {
    std::size_t start = 0;
    bool fine = true;
    const auto checkComponent = [&](std::string_view component) {
        const bool dotsAndBlanks = !component.empty() && component.find_first_not_of(". ") == std::string_view::npos;
        if ((dotsAndBlanks && component != ".") || IsDeviceName(component)) fine = false;
    };
    ForEachCharacter(name, [&](std::size_t i) {
        if (name[i] == ':') fine = false;
        if (IsSeparator(name[i])) {
            checkComponent(name.substr(start, i - start));
            start = i + 1;
        }
        return fine;
    });
    if (fine) checkComponent(name.substr(start));
    return fine;
}

bool IsAbsoluteName(std::string_view name) {
    return (!name.empty() && IsSeparator(name[0])) || (name.size() >= 2 && name[1] == ':');
}

std::string EntryNameProblem(std::string_view stored, std::size_t shortestBase) {
    static const std::string kOutside =
        "an absolute name or a \"..\" step would be written outside the install folder";
    if (stored.empty()) return "an empty name";
    if (stored.find('\0') != std::string_view::npos) return "a zero byte inside the name";
    if (IsAbsoluteName(stored) || CleanEntryName(stored) != stored) return kOutside;
    if (shortestBase + stored.size() > kMaxPathBytes)
        return std::to_string(stored.size()) + " bytes long: under the install folder the path would pass the " +
               std::to_string(kMaxPathBytes) + " bytes the installer writes";
    // A folder entry ends in its separator; every level before it is a name.
    std::string_view levels = stored;
    if (LastSeparator(levels) == levels.size() - 1) levels.remove_suffix(1);
    std::string problem;
    std::size_t start = 0;
    const auto check = [&](std::string_view component) {
        if (problem.empty()) problem = ComponentProblem(component);
    };
    ForEachCharacter(levels, [&](std::size_t i) {
        if (IsSeparator(levels[i])) {
            check(levels.substr(start, i - start));
            start = i + 1;
        }
        return true;
    });
    check(levels.substr(start));
    if (problem == kDotsOnly) return kOutside;
    if (!problem.empty()) return "the name holds " + problem + ", which Windows file names cannot";
    return StaysBelowBase(stored) ? std::string() : kOutside;
}

}  // namespace varnel
