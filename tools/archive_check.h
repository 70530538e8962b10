// An application archive checked the way the installer will read it: opened
// in memory through the installer's I/O, every entry read with the
// installer's entry reading and name rules, and every entry inflated with
// its CRC checked.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace varnel::pack {

enum class ArchiveUse {
    Payload,   // the application the installer unpacks: every rule
    ReadBack,  // any archive the build wrote (the UI package too): it opens and every entry inflates
};

// What keeps the installer from reading this archive, one message per fault
// (at most a screenful), each naming the entry and the rule; empty when it
// reads.
std::vector<std::string> ArchiveProblems(std::span<const std::uint8_t> archive, ArchiveUse use = ArchiveUse::Payload);

}  // namespace varnel::pack
