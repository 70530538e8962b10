#include "tools/folder_source.h"

#include <algorithm>
#include <fstream>
#include <optional>

#include "install/entry_rules.h"
#include "tools/pack_error.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace varnel::pack {
namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
// One level of a name in GBK as code page 936 writes it; empty when a
// character has no GBK form (no best fit: a near letter would name another file).
std::optional<std::string> ToGbk(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    BOOL lossy = FALSE;
    const int n = WideCharToMultiByte(936, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                      nullptr, &lossy);
    if (n <= 0 || lossy) return std::nullopt;
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(936, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr,
                        &lossy);
    if (lossy) return std::nullopt;
    return out;
}

std::optional<std::string> GbkName(const fs::path& relative) { return ToGbk(relative.generic_wstring()); }
#else
bool IsUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > text.size()) return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2) return false;
        i += n;
    }
    return true;
}

// The host's names are UTF-8; GBK as code page 936 reads it, or empty when a
// character has no GBK form.
std::optional<std::string> GbkName(const fs::path& relative) {
    const std::string utf8 = relative.generic_string();
    if (!IsUtf8(utf8)) return std::nullopt;
    iconv_t cd = iconv_open("CP936", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) throw PackError("iconv has no CP936 conversion");
    std::string in = utf8, out(utf8.size() * 2 + 4, '\0');
    char* from = in.data();
    char* to = out.data();
    std::size_t left = in.size(), room = out.size();
    const bool ok = iconv(cd, &from, &left, &to, &room) != static_cast<std::size_t>(-1) && left == 0;
    iconv_close(cd);
    if (!ok) return std::nullopt;
    out.resize(out.size() - room);
    return out;
}
#endif

std::string Utf8Name(const fs::path& relative) {
    std::string name = Shown(relative.generic_string());
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
}

}  // namespace

std::vector<ZipSource> ScanFolder(const fs::path& root, NameForm form, std::vector<fs::path>* read) {
    std::error_code error;
    if (!fs::is_directory(root, error)) throw PackError("no such folder: " + Shown(root));
    std::vector<ZipSource> found;
    if (read) read->push_back(root);
    fs::recursive_directory_iterator it(root, error), end;
    for (; !error && it != end; it.increment(error)) {
        const fs::path path = it->path();
        // Lexical: fs::relative would follow a linked file to where it points.
        const fs::path relative = path.lexically_relative(root);
        const std::string shown = Shown(root) + "/" + Shown(relative.generic_string());
        if (read) read->push_back(path);
        for (const auto& level : relative)
            if (Shown(level).find('\\') != std::string::npos)
                throw PackError(shown + ": the name holds a backslash, which Windows reads as a folder separator");
        ZipSource source;
        if (form == NameForm::Gbk) {
            const auto gbk = GbkName(relative);
            if (!gbk)
                throw PackError(shown + ": the name has a character GBK cannot hold (the installer reads names as GBK); rename it");
            source.name = *gbk;
        } else {
            source.name = Utf8Name(relative);
        }
        if (it->is_symlink(error) && fs::is_directory(path, error))
            throw PackError(shown + ": a link to a folder is not followed; copy the folder in");
        if (fs::is_directory(path, error)) {
            if (!fs::is_empty(path, error)) continue;
            source.name += form == NameForm::Gbk ? '/' : '\\';
            source.folder = true;
        } else if (!fs::is_regular_file(path, error)) {
            throw PackError(shown + ": neither a file nor a folder");
        }
        if (form == NameForm::Gbk) {
            if (const std::string problem = EntryNameProblem(source.name, kShortestInstallFolder); !problem.empty())
                throw PackError(shown + ": " + problem);
        }
        source.file = path;
        found.push_back(std::move(source));
    }
    if (error) throw PackError("cannot read the folder " + Shown(root) + ": " + error.message());
    std::sort(found.begin(), found.end(), [](const ZipSource& a, const ZipSource& b) { return a.name < b.name; });
    return found;
}

void WriteDepfile(const fs::path& depfile, const std::string& output, const std::vector<fs::path>& read) {
    const auto escape = [](const std::string& text) {
        std::string out;
        for (const char c : text) {
            if (c == ' ' || c == '#' || c == '\\') out += '\\';
            if (c == '$') out += '$';
            out += c;
        }
        return out;
    };
    std::ofstream out(depfile, std::ios::trunc);
    out << escape(output) << ":";
    for (const auto& p : read) out << " \\\n  " << escape(Shown(p));
    out << "\n";
    if (!out.flush()) throw PackError("cannot write " + Shown(depfile));
}

}  // namespace varnel::pack
