#include "tools/installer_image.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <optional>

#include "tools/little_endian.h"
#include "tools/pack_error.h"

namespace varnel::pack {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kRcData = 10;
constexpr int kResourceDirectory = 2, kSecurityDirectory = 4, kRelocationDirectory = 5;
constexpr const char* kNotAStub = "not an installer stub: ";

std::uint32_t Get16(std::span<const std::uint8_t> b, std::size_t at) {
    if (at + 2 > b.size()) throw PackError(std::string(kNotAStub) + "the file ends inside its headers");
    return b[at] | (b[at + 1] << 8);
}
std::uint32_t Get32(std::span<const std::uint8_t> b, std::size_t at) { return Get16(b, at) | (Get16(b, at + 2) << 16); }
void Set32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint64_t AlignUp(std::uint64_t v, std::uint64_t a) { return (v + a - 1) / a * a; }

struct Section {
    std::string name;  // as stored: 8 bytes, or "/N" into the string table
    std::uint32_t virtualSize, virtualAddress, rawSize, rawPointer;
    std::size_t headerAt;  // offset of its 40-byte header in the file
};

// The headers the rewrite needs, read and checked.
struct Headers {
    std::size_t optionalAt = 0, sectionsAt = 0, directoriesAt = 0, checksumAt = 0;
    std::uint32_t fileAlignment = 0, sectionAlignment = 0, sizeOfHeaders = 0, directoryCount = 0;
    std::uint32_t symbolTable = 0;  // file offset of the COFF symbol and string tables, or 0
    std::vector<Section> sections;
    std::size_t resourceIndex = 0;

    std::uint32_t Directory(std::span<const std::uint8_t> b, int i, std::uint32_t* size = nullptr) const {
        if (static_cast<std::uint32_t>(i) >= directoryCount) return 0;
        if (size) *size = Get32(b, directoriesAt + 8 * i + 4);
        return Get32(b, directoriesAt + 8 * i);
    }
};

Headers ReadHeaders(std::span<const std::uint8_t> b) {
    Headers h;
    if (b.size() < 0x40 || b[0] != 'M' || b[1] != 'Z') throw PackError(std::string(kNotAStub) + "no MZ header");
    const std::uint32_t pe = Get32(b, 0x3C);
    if (Get32(b, pe) != 0x00004550) throw PackError(std::string(kNotAStub) + "no PE header");
    const std::uint32_t machine = Get16(b, pe + 4);
    if (machine != 0x14C && machine != 0x8664) throw PackError(std::string(kNotAStub) + "not an x86 or x64 program");
    const std::uint32_t count = Get16(b, pe + 6);
    h.symbolTable = Get32(b, pe + 12);
    const std::uint32_t optionalSize = Get16(b, pe + 20);
    h.optionalAt = pe + 24;
    const std::uint32_t magic = Get16(b, h.optionalAt);
    if (magic != 0x10B && magic != 0x20B) throw PackError(std::string(kNotAStub) + "unknown optional header");
    const bool wide = magic == 0x20B;
    h.sectionAlignment = Get32(b, h.optionalAt + 32);
    h.fileAlignment = Get32(b, h.optionalAt + 36);
    h.sizeOfHeaders = Get32(b, h.optionalAt + 60);
    h.checksumAt = h.optionalAt + 64;
    h.directoryCount = std::min<std::uint32_t>(Get32(b, h.optionalAt + (wide ? 108 : 92)), 16);
    h.directoriesAt = h.optionalAt + (wide ? 112 : 96);
    h.sectionsAt = h.optionalAt + optionalSize;
    const auto powerOfTwo = [](std::uint32_t v) { return v >= 512 && (v & (v - 1)) == 0; };
    if (!powerOfTwo(h.fileAlignment) || !powerOfTwo(h.sectionAlignment) || h.fileAlignment > h.sectionAlignment ||
        h.directoriesAt + 8 * h.directoryCount > h.sectionsAt || h.sectionsAt + 40 * count > h.sizeOfHeaders ||
        h.sizeOfHeaders > b.size())
        throw PackError(std::string(kNotAStub) + "damaged headers");
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t at = h.sectionsAt + 40 * i;
        Section s;
        s.name.assign(reinterpret_cast<const char*>(&b[at]), 8);
        s.name.resize(std::strlen(s.name.c_str()));
        s.virtualSize = Get32(b, at + 8);
        s.virtualAddress = Get32(b, at + 12);
        s.rawSize = Get32(b, at + 16);
        s.rawPointer = Get32(b, at + 20);
        s.headerAt = at;
        if (s.rawSize && (static_cast<std::uint64_t>(s.rawPointer) + s.rawSize > b.size()))
            throw PackError("damaged stub: section " + s.name + " lies beyond the end of the file (cut short?)");
        h.sections.push_back(s);
    }
    const std::uint32_t resources = h.Directory(b, kResourceDirectory);
    const auto found = std::find_if(h.sections.begin(), h.sections.end(), [&](const Section& s) {
        return resources && s.virtualAddress == resources;
    });
    if (found == h.sections.end()) throw PackError(std::string(kNotAStub) + "no resource section");
    h.resourceIndex = static_cast<std::size_t>(found - h.sections.begin());
    return h;
}

// --- the resource tree

struct ResourceNode {
    bool named = false;
    std::u16string name;
    std::uint32_t id = 0;
    // A directory: its table's fields and entries. A leaf: its data.
    bool leaf = false;
    std::uint32_t characteristics = 0, timeStamp = 0, version = 0;
    std::vector<ResourceNode> children;
    std::span<const std::uint8_t> data;
    std::uint32_t codePage = 0;
};

class ResourceReader {
public:
    ResourceReader(std::span<const std::uint8_t> file, const Section& section)
        : bytes_(file.subspan(section.rawPointer, std::min(section.rawSize, section.virtualSize))),
          file_(file), section_(section) {}

    ResourceNode ReadDirectory(std::uint32_t offset, int depth) {
        if (depth > 3 || ++directories_ > 10000) throw Damaged();
        ResourceNode node;
        node.characteristics = At32(offset);
        node.timeStamp = At32(offset + 4);
        node.version = At32(offset + 8);
        const std::uint32_t entries = At16(offset + 12) + At16(offset + 14);
        for (std::uint32_t i = 0; i < entries; ++i) {
            const std::uint32_t at = offset + 16 + 8 * i;
            const std::uint32_t key = At32(at), target = At32(at + 4);
            ResourceNode child;
            if (key & 0x80000000u) {
                child.named = true;
                const std::uint32_t s = key & 0x7FFFFFFF, length = At16(s);
                for (std::uint32_t k = 0; k < length; ++k) child.name.push_back(static_cast<char16_t>(At16(s + 2 + 2 * k)));
            } else {
                child.id = key;
            }
            if (target & 0x80000000u) {
                ResourceNode sub = ReadDirectory(target & 0x7FFFFFFF, depth + 1);
                sub.named = child.named;
                sub.name = std::move(child.name);
                sub.id = child.id;
                node.children.push_back(std::move(sub));
            } else {
                child.leaf = true;
                const std::uint32_t rva = At32(target), size = At32(target + 4);
                child.codePage = At32(target + 8);
                // The data lies in this section, as the loader finds it.
                if (rva < section_.virtualAddress || rva - section_.virtualAddress > bytes_.size() ||
                    size > bytes_.size() - (rva - section_.virtualAddress))
                    throw Damaged();
                child.data = bytes_.subspan(rva - section_.virtualAddress, size);
                node.children.push_back(std::move(child));
            }
        }
        return node;
    }

private:
    static PackError Damaged() { return PackError("damaged stub: its resource directory is broken"); }
    std::uint32_t At16(std::uint32_t at) const {
        if (at + 2 > bytes_.size()) throw Damaged();
        return bytes_[at] | (bytes_[at + 1] << 8);
    }
    std::uint32_t At32(std::uint32_t at) const { return At16(at) | (At16(at + 2) << 16); }

    std::span<const std::uint8_t> bytes_;
    std::span<const std::uint8_t> file_;
    const Section& section_;
    int directories_ = 0;
};

ResourceNode* Child(ResourceNode& node, std::uint32_t id) {
    for (auto& c : node.children)
        if (!c.named && c.id == id && !c.leaf) return &c;
    return nullptr;
}

ResourceNode* Child(ResourceNode& node, std::u16string_view name) {
    for (auto& c : node.children)
        if (c.named && c.name == name && !c.leaf) return &c;
    return nullptr;
}

// The one language version of an RCDATA block.
ResourceNode& Block(ResourceNode& root, std::u16string_view name) {
    ResourceNode* type = Child(root, kRcData);
    ResourceNode* block = type ? Child(*type, name) : nullptr;
    if (!block || block->children.size() != 1 || !block->children[0].leaf)
        throw PackError(std::string(kNotAStub) + "it carries no " + std::string(name.begin(), name.end()) +
                        " block (is it the installer stub from the build?)");
    return block->children[0];
}

// Writes the tree as the section's bytes: the directory tables breadth
// first, then the names, the data entries and the data, each block 8-aligned.
// Data pieces are not copied: they are returned as parts to write in order.
struct SerializedResources {
    Bytes head;  // tables, names, data entries
    std::vector<std::pair<std::size_t, std::span<const std::uint8_t>>> data;  // (padding before, bytes)
    std::uint64_t size = 0;
};

SerializedResources Serialize(const ResourceNode& root, std::uint32_t sectionRva) {
    std::vector<const ResourceNode*> directories, named, leaves;
    std::deque<const ResourceNode*> queue{&root};
    while (!queue.empty()) {
        const ResourceNode* node = queue.front();
        queue.pop_front();
        directories.push_back(node);
        for (const auto& c : node->children) {
            if (c.named) named.push_back(&c);
            if (c.leaf) leaves.push_back(&c);
            else queue.push_back(&c);
        }
    }
    std::vector<std::uint32_t> directoryAt, nameAt, leafAt, dataAt;
    std::uint64_t cursor = 0;
    for (const auto* d : directories) {
        directoryAt.push_back(static_cast<std::uint32_t>(cursor));
        cursor += 16 + 8 * d->children.size();
    }
    for (const auto* n : named) {
        nameAt.push_back(static_cast<std::uint32_t>(cursor));
        cursor += 2 + 2 * n->name.size();
    }
    cursor = AlignUp(cursor, 4);
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        leafAt.push_back(static_cast<std::uint32_t>(cursor));
        cursor += 16;
    }
    const std::uint64_t headSize = cursor;
    SerializedResources out;
    for (const auto* leaf : leaves) {
        const std::uint64_t at = AlignUp(cursor, 8);
        out.data.emplace_back(static_cast<std::size_t>(at - cursor), leaf->data);
        dataAt.push_back(static_cast<std::uint32_t>(at));
        cursor = at + leaf->data.size();
    }
    out.size = cursor;
    if (sectionRva + cursor > 0x7FFFFFFF) throw PackError("the blocks are too large for one program image");

    const auto index = [](const auto& list, const ResourceNode* node) {
        return static_cast<std::size_t>(std::find(list.begin(), list.end(), node) - list.begin());
    };
    Bytes& head = out.head;
    head.reserve(headSize);
    for (const auto* d : directories) {
        Put32(head, d->characteristics);
        Put32(head, d->timeStamp);
        Put32(head, d->version);
        const auto namedCount = std::count_if(d->children.begin(), d->children.end(), [](const auto& c) { return c.named; });
        Put16(head, static_cast<std::uint32_t>(namedCount));
        Put16(head, static_cast<std::uint32_t>(d->children.size() - namedCount));
        for (const auto& c : d->children) {
            Put32(head, c.named ? (0x80000000u | nameAt[index(named, &c)]) : c.id);
            Put32(head, c.leaf ? leafAt[index(leaves, &c)] : (0x80000000u | directoryAt[index(directories, &c)]));
        }
    }
    for (const auto* n : named) {
        Put16(head, static_cast<std::uint32_t>(n->name.size()));
        for (const char16_t ch : n->name) Put16(head, ch);
    }
    head.resize(AlignUp(head.size(), 4), 0);
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        Put32(head, sectionRva + dataAt[i]);
        Put32(head, static_cast<std::uint32_t>(leaves[i]->data.size()));
        Put32(head, leaves[i]->codePage);
        Put32(head, 0);
    }
    return out;
}

ResourceNode ReadResources(std::span<const std::uint8_t> stub, const Headers& h) {
    ResourceReader reader(stub, h.sections[h.resourceIndex]);
    return reader.ReadDirectory(0, 0);
}

// The PE checksum: 16-bit one's-complement-style sum of the file with the
// checksum field read as zero, plus the file's length.
std::uint32_t Checksum(const std::vector<std::span<const std::uint8_t>>& parts, std::size_t checksumAt) {
    std::uint64_t sum = 0, offset = 0;
    int pending = -1;  // a low byte waiting for its high byte across parts
    for (const auto part : parts) {
        for (const std::uint8_t byte : part) {
            const std::uint8_t value = (offset >= checksumAt && offset < checksumAt + 4) ? 0 : byte;
            if (pending < 0) {
                pending = value;
            } else {
                sum += static_cast<std::uint32_t>(pending) | (static_cast<std::uint32_t>(value) << 8);
                sum = (sum & 0xFFFF) + (sum >> 16);
                pending = -1;
            }
            ++offset;
        }
    }
    if (pending >= 0) sum = ((sum + pending) & 0xFFFF) + ((sum + pending) >> 16);
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint32_t>(sum + offset);
}

// The blocks the installer looks up; a stub without its UI library is refused.
StubBlocks BlocksOf(ResourceNode& root) {
    StubBlocks blocks{Block(root, u"UI_LIBRARY").data, Block(root, u"UI_PACKAGE").data, Block(root, u"PAYLOAD").data};
    if (blocks.uiLibrary.size() < 2 || blocks.uiLibrary[0] != 'M' || blocks.uiLibrary[1] != 'Z')
        throw PackError("damaged stub: its UI library block is not a program library");
    return blocks;
}

}  // namespace

std::uint64_t PackedImage::Size() const {
    std::uint64_t size = 0;
    for (const auto part : parts) size += part.size();
    return size;
}

StubBlocks ReadStubBlocks(std::span<const std::uint8_t> stub) {
    ResourceNode root = ReadResources(stub, ReadHeaders(stub));
    return BlocksOf(root);
}

PackedImage PackInstaller(std::span<const std::uint8_t> stub, const InstallerBlocks& blocks) {
    const Headers h = ReadHeaders(stub);
    ResourceNode root = ReadResources(stub, h);
    BlocksOf(root);
    Block(root, u"PAYLOAD").data = blocks.payload;
    if (!blocks.uiPackage.empty()) Block(root, u"UI_PACKAGE").data = blocks.uiPackage;

    const Section& rsrc = h.sections[h.resourceIndex];
    const SerializedResources resources = Serialize(root, rsrc.virtualAddress);

    // Only what the loader finds through a directory may move: the base
    // relocations; the debug link and the string table are found by name.
    for (int i = 0; i < static_cast<int>(h.directoryCount); ++i) {
        std::uint32_t size = 0;
        const std::uint32_t rva = h.Directory(stub, i, &size);
        if (i == kResourceDirectory || i == kRelocationDirectory || i == kSecurityDirectory || rva == 0) continue;
        if (rva >= rsrc.virtualAddress)
            throw PackError(std::string(kNotAStub) + "data directory " + std::to_string(i) +
                            " lies after the resources, where the rewrite would move it");
    }
    for (std::size_t i = 0; i < h.sections.size(); ++i) {
        const Section& s = h.sections[i];
        const bool before = i < h.resourceIndex, after = i > h.resourceIndex;
        if ((i + 1 < h.sections.size() && h.sections[i + 1].virtualAddress < s.virtualAddress) ||
            (before && s.rawSize && s.rawPointer + s.rawSize > rsrc.rawPointer) ||
            (after && s.rawSize && s.rawPointer < rsrc.rawPointer + rsrc.rawSize))
            throw PackError(std::string(kNotAStub) + "its sections are out of order");
    }

    PackedImage image;
    std::uint32_t securitySize = 0;
    image.signatureDropped = h.Directory(stub, kSecurityDirectory, &securitySize) != 0 && securitySize != 0;

    // Headers and every section before the resources stay where they are.
    Bytes headers(stub.begin(), stub.begin() + rsrc.rawPointer);
    const std::uint64_t newRsrcRaw = AlignUp(resources.size, h.fileAlignment);
    std::int64_t fileShift = static_cast<std::int64_t>(newRsrcRaw) - rsrc.rawSize;
    std::uint32_t nextVirtual = static_cast<std::uint32_t>(AlignUp(rsrc.virtualAddress + resources.size, h.sectionAlignment));
    std::uint64_t nextRaw = rsrc.rawPointer + newRsrcRaw;
    Set32(headers, rsrc.headerAt + 8, static_cast<std::uint32_t>(resources.size));
    Set32(headers, rsrc.headerAt + 16, static_cast<std::uint32_t>(newRsrcRaw));
    Set32(headers, h.directoriesAt + 8 * kResourceDirectory + 4, static_cast<std::uint32_t>(resources.size));

    std::vector<std::span<const std::uint8_t>> tail;  // sections after the resources, moved
    std::uint32_t relocationRva = h.Directory(stub, kRelocationDirectory);
    std::uint32_t newRelocationRva = relocationRva;
    for (std::size_t i = h.resourceIndex + 1; i < h.sections.size(); ++i) {
        const Section& s = h.sections[i];
        if (relocationRva >= s.virtualAddress && relocationRva < s.virtualAddress + std::max(s.virtualSize, s.rawSize))
            newRelocationRva = relocationRva - s.virtualAddress + nextVirtual;
        Set32(headers, s.headerAt + 12, nextVirtual);
        if (s.rawSize) {
            Set32(headers, s.headerAt + 20, static_cast<std::uint32_t>(nextRaw));
            tail.push_back(stub.subspan(s.rawPointer, s.rawSize));
            nextRaw += s.rawSize;
        }
        nextVirtual = static_cast<std::uint32_t>(AlignUp(nextVirtual + std::max(s.virtualSize, 1u), h.sectionAlignment));
    }
    if (relocationRva) Set32(headers, h.directoriesAt + 8 * kRelocationDirectory, newRelocationRva);
    Set32(headers, h.optionalAt + 56, nextVirtual);  // SizeOfImage
    const std::uint32_t initialized = Get32(stub, h.optionalAt + 8);
    Set32(headers, h.optionalAt + 8, static_cast<std::uint32_t>(initialized + fileShift));
    if (h.directoryCount > kSecurityDirectory) {
        Set32(headers, h.directoriesAt + 8 * kSecurityDirectory, 0);
        Set32(headers, h.directoriesAt + 8 * kSecurityDirectory + 4, 0);
    }

    // The COFF string table (names of sections longer than 8 bytes) follows
    // the sections, as the linker wrote it.
    std::span<const std::uint8_t> strings;
    if (h.symbolTable) {
        if (h.symbolTable >= stub.size()) throw PackError("damaged stub: its string table lies beyond the end of the file");
        const std::uint32_t pe = Get32(stub, 0x3C);
        const std::uint64_t symbols = static_cast<std::uint64_t>(Get32(stub, pe + 16)) * 18;
        const std::uint64_t stringsAt = h.symbolTable + symbols;
        const std::uint64_t length = Get32(stub, stringsAt);
        if (stringsAt + length > stub.size()) throw PackError("damaged stub: its string table is cut short");
        strings = stub.subspan(h.symbolTable, symbols + length);
        Set32(headers, pe + 12, static_cast<std::uint32_t>(nextRaw));
    }
    Set32(headers, h.checksumAt, 0);

    image.owned.push_back(std::move(headers));
    image.owned.push_back(resources.head);
    static const std::uint8_t kZeros[8] = {};
    image.parts.push_back(image.owned[0]);
    image.parts.push_back(image.owned[1]);
    for (const auto& [padding, data] : resources.data) {
        image.parts.emplace_back(kZeros, padding);
        image.parts.push_back(data);
    }
    image.owned.emplace_back(newRsrcRaw - resources.size, 0);
    image.parts.push_back(image.owned.back());
    for (const auto part : tail) image.parts.push_back(part);
    if (!strings.empty()) image.parts.push_back(strings);

    Set32(image.owned[0], h.checksumAt, Checksum(image.parts, h.checksumAt));
    return image;
}

}  // namespace varnel::pack
