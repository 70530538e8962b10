// Walks the accessibility tree of a running XCGUI window from another
// process, as a screen reader does, and prints it (UTF-8, one line a child).
//
// usage: acc_walk <window caption> [--do <child name>] [--events <ms>]
//   child <role> <name> <value> <state, hex> <default action>
//   --do: the child's default action; --events: prints the events raised
//   meanwhile as "event <hex> <name of its object>".
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

struct Line {
    LONG id;
    std::string name;
};

std::vector<Line> Walk(IAccessible* acc) {
    std::vector<Line> lines;
    LONG count = 0;
    acc->get_accChildCount(&count);
    std::vector<VARIANT> children(count > 0 ? count : 1);
    LONG got = 0;
    if (count > 0 && FAILED(AccessibleChildren(acc, 0, count, children.data(), &got))) got = 0;
    std::printf("children %ld\n", got);
    for (LONG k = 0; k < got; ++k) {
        if (children[k].vt != VT_I4) {
            VariantClear(&children[k]);
            continue;
        }
        const VARIANT c = Child(children[k].lVal);
        VARIANT role, state;
        VariantInit(&role);
        VariantInit(&state);
        acc->get_accRole(c, &role);
        acc->get_accState(c, &state);
        BSTR name = nullptr, value = nullptr, action = nullptr;
        acc->get_accName(c, &name);
        acc->get_accValue(c, &value);
        acc->get_accDefaultAction(c, &action);
        const std::string n = Take(name);
        std::printf("child\t%ld\t%s\t%s\t%lx\t%s\n", role.vt == VT_I4 ? role.lVal : -1, n.c_str(), Take(value).c_str(),
                    state.vt == VT_I4 ? static_cast<unsigned long>(state.lVal) : 0ul, Take(action).c_str());
        lines.push_back({c.lVal, n});
    }
    return lines;
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

}  // namespace

int main() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc < 2) return 2;
    std::wstring press;
    DWORD listen = 0;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (std::wstring(argv[i]) == L"--do") press = argv[i + 1];
        if (std::wstring(argv[i]) == L"--events") listen = static_cast<DWORD>(_wtoi(argv[i + 1]));
    }
    CoInitialize(nullptr);
    HWND hwnd = FindWindowW(L"XCGUI_Window", argv[1]);
    if (!hwnd) {
        std::printf("no window\n");
        return 1;
    }
    IAccessible* acc = nullptr;
    if (FAILED(AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), kIAccessible,
                                          reinterpret_cast<void**>(&acc))) ||
        !acc) {
        std::printf("no accessible object\n");
        return 1;
    }
    BSTR name = nullptr;
    acc->get_accName(Child(CHILDID_SELF), &name);
    VARIANT role;
    VariantInit(&role);
    acc->get_accRole(Child(CHILDID_SELF), &role);
    std::printf("client\t%ld\t%s\n", role.vt == VT_I4 ? role.lVal : -1, Take(name).c_str());
    const auto lines = Walk(acc);
    HWINEVENTHOOK hook = nullptr;
    if (listen)
        hook = SetWinEventHook(EVENT_MIN, EVENT_MAX, nullptr, OnEvent, 0, 0, WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
    if (!press.empty()) {
        const std::string wanted = Utf8(press.c_str());
        HRESULT hr = E_INVALIDARG;
        for (const Line& l : lines)
            if (l.name == wanted) hr = acc->accDoDefaultAction(Child(l.id));
        std::printf("done %lx\n", static_cast<unsigned long>(hr));
    }
    std::fflush(stdout);
    for (const DWORD end = GetTickCount() + listen; listen && GetTickCount() < end;) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    if (hook) UnhookWinEvent(hook);
    acc->Release();
    CoUninitialize();
    return 0;
}
