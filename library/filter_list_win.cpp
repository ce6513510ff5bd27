#include "library/filter_list.h"

#include "module/message_box.h"

namespace {

// Exact, case-sensitive equality of an item's text with a name that may come
// from a 256-byte buffer without a terminating zero: at most length + 1
// bytes of name are read.
bool SameName(const char* text, LRESULT length, const char* name) {
    for (LRESULT i = 0; i < length; ++i)
        if (name[i] != text[i]) return false;
    return name[length] == '\0';
}

// LB_FINDSTRINGEXACT ignores case, so the items are compared here.
LRESULT FindExactItem(HWND list, const char* name) {
    if (!name) return -1;
    const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        if (length < 0 || length > kMaxNameChars) continue;
        char text[kNameBytes];
        if (SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text)) != length)
            continue;
        if (SameName(text, length, name)) return i;
    }
    return -1;
}

}  // namespace

int LoadFilterList(HWND list, const char* path, const char* nameToSelect) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) {
        ShowFilterFileMessage(FilterFileStatus::kCantOpen, path);
        return 0;
    }
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    char name[kNameBytes];
    KernelRecord scratch{};
    while (ReadFilterEntry(f, name, &scratch))
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    std::fclose(f);
    SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(FindExactItem(list, nameToSelect)), 0);
    return 1;
}

void ShowFilterFileMessage(FilterFileStatus status, const char* path) {
    if (const char* text = FilterFileMessage(status)) ShowMessageBox("Error", text, path);
}
