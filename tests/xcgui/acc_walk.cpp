// Reads the accessibility tree of a running XCGUI window from another
// process, as a screen reader does, and prints it (UTF-8, one line a child).
//
// usage: acc_walk <window caption> [--do <child name>] [--events <ms>]
//        acc_walk <window caption> --serve
//   client <role> <name> <x> <y> <w> <h>
//   children <count>
//   child <role> <name> <value> <state, hex> <default action> <description> <x> <y> <w> <h>
// Places are screen pixels. --do: the child's default action ("done <hex>");
// --events: prints the events raised meanwhile as "event <hex> <name>".
// --serve: answers commands read from stdin, one a line, each answer ending
// with "end": "walk" (the tree, or "no window"), "do <name>", "quit". The
// window is looked up anew each time, so one reader outlives the windows.
#include <windows.h>
#include <oleacc.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Spelled out: MinGW-w64's x86_64 oleacc import library, linked before the
// uuid library, gives IID_IAccessible the address of an import thunk, whose
// bytes no object answers to.
const IID kIAccessible = {0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

std::string Utf8(const wchar_t* text, int length = -1) {
    if (!text) return "";
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), n, nullptr, nullptr);
    if (length < 0 && !out.empty()) out.pop_back();
    return out;
}

std::string Take(BSTR b) {
    std::string s = b ? Utf8(b, static_cast<int>(SysStringLen(b))) : "";
    SysFreeString(b);
    return s;
}

VARIANT Child(LONG id) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}

LONG Number(const VARIANT& v) {
    return v.vt == VT_I4 ? v.lVal : -1;
}

// The window's client object, released when it goes.
class Client {
public:
    explicit Client(const wchar_t* caption) {
        HWND hwnd = FindWindowW(L"XCGUI_Window", caption);
        if (!hwnd) {
            why_ = "no window";
        } else if (FAILED(AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), kIAccessible,
                                                     reinterpret_cast<void**>(&acc_))) ||
                   !acc_) {
            acc_ = nullptr;
            why_ = "no accessible object";
        }
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;
    ~Client() {
        if (acc_) acc_->Release();
    }
    IAccessible* operator->() const { return acc_; }
    explicit operator bool() const { return acc_ != nullptr; }
    const char* Why() const { return why_; }

private:
    IAccessible* acc_ = nullptr;
    const char* why_ = "";
};

std::string Place(const Client& acc, LONG id) {
    LONG x = 0, y = 0, w = 0, h = 0;
    acc->accLocation(&x, &y, &w, &h, Child(id));
    char text[64];
    std::snprintf(text, sizeof text, "%ld\t%ld\t%ld\t%ld", x, y, w, h);
    return text;
}

std::vector<LONG> ChildIds(const Client& acc) {
    LONG count = 0;
    acc->get_accChildCount(&count);
    std::vector<VARIANT> children(count > 0 ? count : 1);
    LONG got = 0;
    if (count > 0 && FAILED(AccessibleChildren(acc.operator->(), 0, count, children.data(), &got))) got = 0;
    std::vector<LONG> ids;
    for (LONG k = 0; k < got; ++k) {
        if (children[k].vt == VT_I4) ids.push_back(children[k].lVal);
        else VariantClear(&children[k]);
    }
    return ids;
}

std::string Name(const Client& acc, LONG id) {
    BSTR name = nullptr;
    acc->get_accName(Child(id), &name);
    return Take(name);
}

void Print(const Client& acc) {
    VARIANT role;
    VariantInit(&role);
    acc->get_accRole(Child(CHILDID_SELF), &role);
    std::printf("client\t%ld\t%s\t%s\n", Number(role), Name(acc, CHILDID_SELF).c_str(),
                Place(acc, CHILDID_SELF).c_str());
    const std::vector<LONG> ids = ChildIds(acc);
    std::printf("children %zu\n", ids.size());
    for (LONG id : ids) {
        const VARIANT c = Child(id);
        VARIANT state;
        VariantInit(&role);
        VariantInit(&state);
        acc->get_accRole(c, &role);
        acc->get_accState(c, &state);
        BSTR value = nullptr, action = nullptr, description = nullptr;
        acc->get_accValue(c, &value);
        acc->get_accDefaultAction(c, &action);
        acc->get_accDescription(c, &description);
        std::printf("child\t%ld\t%s\t%s\t%lx\t%s\t%s\t%s\n", Number(role), Name(acc, id).c_str(), Take(value).c_str(),
                    static_cast<unsigned long>(Number(state)), Take(action).c_str(), Take(description).c_str(),
                    Place(acc, id).c_str());
    }
}

void Do(const Client& acc, const std::string& wanted) {
    HRESULT hr = E_INVALIDARG;
    for (LONG id : ChildIds(acc))
        if (Name(acc, id) == wanted) hr = acc->accDoDefaultAction(Child(id));
    std::printf("done %lx\n", static_cast<unsigned long>(hr));
}

void CALLBACK OnEvent(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG object, LONG child, DWORD, DWORD) {
    IAccessible* acc = nullptr;
    VARIANT c;
    VariantInit(&c);
    std::string name;
    if (SUCCEEDED(AccessibleObjectFromEvent(hwnd, object, child, &acc, &c)) && acc) {
        BSTR b = nullptr;
        acc->get_accName(c, &b);
        name = Take(b);
        acc->Release();
    }
    std::printf("event %lx %s\n", static_cast<unsigned long>(event), name.c_str());
    std::fflush(stdout);
}

int Serve(const wchar_t* caption) {
    char line[4096];
    while (std::fgets(line, sizeof line, stdin)) {
        std::string command(line);
        while (!command.empty() && (command.back() == '\n' || command.back() == '\r')) command.pop_back();
        if (command == "quit") break;
        const Client acc(caption);
        if (!acc) std::printf("%s\n", acc.Why());
        else if (command == "walk") Print(acc);
        else if (command.rfind("do ", 0) == 0) Do(acc, command.substr(3));
        else std::printf("unknown command\n");
        std::printf("end\n");
        std::fflush(stdout);
    }
    return 0;
}

int Once(const wchar_t* caption, const std::string& press, DWORD listen) {
    const Client acc(caption);
    if (!acc) {
        std::printf("%s\n", acc.Why());
        return 1;
    }
    Print(acc);
    HWINEVENTHOOK hook = nullptr;
    if (listen)
        hook = SetWinEventHook(EVENT_MIN, EVENT_MAX, nullptr, OnEvent, 0, 0, WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
    if (!press.empty()) Do(acc, press);
    std::fflush(stdout);
    for (const DWORD end = GetTickCount() + listen; listen && GetTickCount() < end;) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    if (hook) UnhookWinEvent(hook);
    return 0;
}

}  // namespace

int main() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc < 2) return 2;
    std::wstring press;
    DWORD listen = 0;
    bool serve = false;
    for (int i = 2; i < argc; ++i) {
        const std::wstring option = argv[i];
        if (option == L"--serve") serve = true;
        else if (option == L"--do" && i + 1 < argc) press = argv[++i];
        else if (option == L"--events" && i + 1 < argc) listen = static_cast<DWORD>(_wtoi(argv[++i]));
    }
    CoInitialize(nullptr);
    const int code = serve ? Serve(argv[1]) : Once(argv[1], Utf8(press.c_str()), listen);
    CoUninitialize();
    return code;
}
