// Looks at the program's windows from outside, as another Win32 process under
// the same Wine desktop, and prints what it finds as one JSON object.
//
//   probe window CLASS TIMEOUT_MS   the visible top-level window of CLASS: outer
//                                   and client rectangles, styles, owner, icons,
//                                   the pane and the control in it, the focus
//   probe title CLASS               its caption, with the local time read just
//                                   before and just after
//   probe dialog TITLE TIMEOUT_MS [ok]
//                                   a message box: owner, texts, icon, buttons;
//                                   with "ok" it then presses OK
//   probe close CLASS               what the close box does: SC_CLOSE
//   probe directory CLASS           the current directory of the window's process
#include <windows.h>
#include <winternl.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::string utf8(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size, nullptr,
                        nullptr);
    return text;
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string window_text(HWND hwnd) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return utf8(text);
}

std::string class_name(HWND hwnd) {
    wchar_t name[256] = {};
    GetClassNameW(hwnd, name, 256);
    return utf8(name);
}

std::string rect_json(const RECT& r) {
    char text[96];
    std::snprintf(text, sizeof text, "[%ld, %ld, %ld, %ld]", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return text;
}

// A child's rectangle relative to its parent's client area.
RECT rect_in_parent(HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::string icon_size(HICON icon) {
    ICONINFO info{};
    if (icon == nullptr || !GetIconInfo(icon, &info)) return "null";
    BITMAP bitmap{};
    GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
    if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
    char text[48];
    std::snprintf(text, sizeof text, "[%ld, %ld]", bitmap.bmWidth, bitmap.bmHeight);
    return text;
}

std::string local_time() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    char text[64];
    std::snprintf(text, sizeof text, "[%u, %u, %u, %u, %u, %u]", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    return text;
}

HWND find_visible(const wchar_t* window_class, const wchar_t* title, DWORD timeout_ms) {
    const ULONGLONG end = GetTickCount64() + timeout_ms;
    for (;;) {
        const HWND hwnd = FindWindowW(window_class, title);
        if (hwnd != nullptr && IsWindowVisible(hwnd)) return hwnd;
        if (GetTickCount64() >= end) return nullptr;
        Sleep(50);
    }
}

int print(const std::string& json) {
    const std::string line = json + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    return 0;
}

int not_found() { return print("{\"found\": false}"), 3; }

int window(const wchar_t* window_class, DWORD timeout_ms) {
    const HWND hwnd = find_visible(window_class, nullptr, timeout_ms);
    if (hwnd == nullptr) return not_found();
    RECT outer{};
    GetWindowRect(hwnd, &outer);
    RECT client{};
    GetClientRect(hwnd, &client);
    char styles[96];
    std::snprintf(styles, sizeof styles, "\"style\": %lu, \"exstyle\": %lu", GetWindowLongW(hwnd, GWL_STYLE),
                  GetWindowLongW(hwnd, GWL_EXSTYLE));
    DWORD_PTR large = 0;
    DWORD_PTR small = 0;
    SendMessageTimeoutW(hwnd, WM_GETICON, ICON_BIG, 0, SMTO_ABORTIFHUNG, 5000, &large);
    SendMessageTimeoutW(hwnd, WM_GETICON, ICON_SMALL, 0, SMTO_ABORTIFHUNG, 5000, &small);

    std::string json = "{\"found\": true, \"outer\": " + rect_json(outer) + ", \"client\": " + rect_json(client) +
                       ", " + styles + ", \"owner\": " + (GetWindow(hwnd, GW_OWNER) != nullptr ? "true" : "false") +
                       ", \"large_icon\": " + icon_size(reinterpret_cast<HICON>(large)) +
                       ", \"small_icon\": " + icon_size(reinterpret_cast<HICON>(small)) +
                       ", \"screen\": [" + std::to_string(GetSystemMetrics(SM_CXSCREEN)) + ", " +
                       std::to_string(GetSystemMetrics(SM_CYSCREEN)) + "]";

    // Children: the pane, and the control inside it.
    json += ", \"children\": [";
    bool first = true;
    for (HWND child = GetWindow(hwnd, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        json += std::string(first ? "" : ", ") + "{\"class\": " + quoted(class_name(child)) +
                ", \"rect\": " + rect_json(rect_in_parent(child)) +
                ", \"visible\": " + (IsWindowVisible(child) ? "true" : "false") + ", \"children\": [";
        first = false;
        bool first_grandchild = true;
        for (HWND inner = GetWindow(child, GW_CHILD); inner != nullptr; inner = GetWindow(inner, GW_HWNDNEXT)) {
            json += std::string(first_grandchild ? "" : ", ") + "{\"class\": " + quoted(class_name(inner)) +
                    ", \"rect\": " + rect_json(rect_in_parent(inner)) +
                    ", \"visible\": " + (IsWindowVisible(inner) ? "true" : "false") + "}";
            first_grandchild = false;
        }
        json += "]}";
    }
    json += "]";

    // Where the program's keyboard focus is: the focused window's ancestry
    // below the top-level window, innermost last.
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    json += ", \"active\": ";
    if (GetGUIThreadInfo(GetWindowThreadProcessId(hwnd, nullptr), &gui)) {
        json += gui.hwndActive == hwnd ? "true" : "false";
        json += ", \"focus_path\": [";
        std::vector<std::string> path;
        for (HWND w = gui.hwndFocus; w != nullptr && w != hwnd; w = GetParent(w)) path.insert(path.begin(), class_name(w));
        if (gui.hwndFocus == hwnd) path.push_back(class_name(hwnd));
        for (std::size_t i = 0; i < path.size(); ++i) json += (i ? ", " : "") + quoted(path[i]);
        json += "]";
    } else {
        json += "null, \"focus_path\": null";
    }
    return print(json + "}");
}

int title(const wchar_t* window_class) {
    const HWND hwnd = FindWindowW(window_class, nullptr);
    if (hwnd == nullptr) return not_found();
    const std::string before = local_time();
    const std::string text = window_text(hwnd);
    const std::string after = local_time();
    return print("{\"found\": true, \"before\": " + before + ", \"title\": " + quoted(text) +
                 ", \"after\": " + after + "}");
}

int dialog(const wchar_t* title, DWORD timeout_ms, bool press_ok) {
    const HWND box = find_visible(L"#32770", title, timeout_ms);
    if (box == nullptr) return not_found();
    std::string texts;
    std::string buttons;
    bool icon = false;
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsWindowVisible(child)) continue;
        const std::string name = class_name(child);
        if (lstrcmpiA(name.c_str(), "Button") == 0) {
            buttons += (buttons.empty() ? "" : ", ") + quoted(window_text(child));
        } else if (lstrcmpiA(name.c_str(), "Static") == 0) {
            if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
                icon = true;
            else
                texts += (texts.empty() ? "" : ", ") + quoted(window_text(child));
        }
    }
    print("{\"found\": true, \"owner\": " + std::string(GetWindow(box, GW_OWNER) != nullptr ? "true" : "false") +
          ", \"texts\": [" + texts + "], \"icon\": " + (icon ? "true" : "false") + ", \"buttons\": [" + buttons +
          "]}");
    if (press_ok) PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return 0;
}

int close(const wchar_t* window_class) {
    const HWND hwnd = FindWindowW(window_class, nullptr);
    if (hwnd == nullptr) return not_found();
    PostMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    return print("{\"found\": true}");
}

// The start of the process parameters block, as laid out by the system.
struct ProcessParameters {
    ULONG maximum_length;
    ULONG length;
    ULONG flags;
    ULONG debug_flags;
    HANDLE console;
    ULONG console_flags;
    HANDLE standard_input;
    HANDLE standard_output;
    HANDLE standard_error;
    UNICODE_STRING current_directory;
};

// The folder, or nothing when the process cannot be read.
bool read_current_directory(HANDLE process, std::wstring& folder) {
    PROCESS_BASIC_INFORMATION basic{};
    if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) < 0) return false;
    PEB peb{};
    if (!ReadProcessMemory(process, basic.PebBaseAddress, &peb, sizeof peb, nullptr)) return false;
    ProcessParameters parameters{};
    if (!ReadProcessMemory(process, peb.ProcessParameters, &parameters, sizeof parameters, nullptr)) return false;
    folder.resize(parameters.current_directory.Length / sizeof(wchar_t));
    return ReadProcessMemory(process, parameters.current_directory.Buffer, folder.data(),
                             parameters.current_directory.Length, nullptr);
}

int directory(const wchar_t* window_class) {
    const HWND hwnd = FindWindowW(window_class, nullptr);
    if (hwnd == nullptr) return not_found();
    DWORD id = 0;
    GetWindowThreadProcessId(hwnd, &id);
    const HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id);
    std::wstring folder;
    const bool read = process != nullptr && read_current_directory(process, folder);
    if (process != nullptr) CloseHandle(process);
    if (!read) return print("{\"found\": true, \"directory\": null}"), 1;
    return print("{\"found\": true, \"directory\": " + quoted(utf8(folder)) + "}");
}

int usage() {
    std::fputs("usage: probe window CLASS TIMEOUT_MS | title CLASS | dialog TITLE TIMEOUT_MS [ok] | close CLASS"
               " | directory CLASS\n",
               stderr);
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return usage();
    const std::wstring command = argv[1];
    const auto timeout = [&] { return static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)); };
    if (command == L"window" && argc == 4) return window(argv[2], timeout());
    if (command == L"title" && argc == 3) return title(argv[2]);
    if (command == L"dialog" && (argc == 4 || (argc == 5 && std::wstring(argv[4]) == L"ok")))
        return dialog(argv[2], timeout(), argc == 5);
    if (command == L"close" && argc == 3) return close(argv[2]);
    if (command == L"directory" && argc == 3) return directory(argv[2]);
    return usage();
}
