// Looks at the converter's dialog from outside, for the end-to-end test of the Win32
// program: the compiled BOX105 template, and the live dialog's title, fields, fonts, focus
// and message boxes. Texts are printed in Windows-1252, one item a line.
//
//   dialog_probe template [EXE]   the BOX105 template as compiled into EXE (by default the
//                                 livrana.exe beside this program)
//   dialog_probe controls         the live dialog: title, then each control's id and text
//   dialog_probe text ID          the text of control ID of the live dialog
//   dialog_probe focus            the id of the control that has the focus
//   dialog_probe boxes            the message boxes owned by the dialog: caption | text
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr const char* kDialogTitle = "Livrana 4.38";

std::string Ordinal(unsigned number) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "#%u", number);
  return buf;
}

std::string Narrow(const wchar_t* text, int len) {
  if (len == 0) return std::string();
  int size = WideCharToMultiByte(1252, 0, text, len, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(1252, 0, text, len, out.data(), size, nullptr, nullptr);
  return out;
}

// A name or ordinal field of a dialog template; moves p past it.
std::string NameOrOrdinal(const WORD*& p) {
  if (*p == 0xFFFF) {
    WORD ordinal = p[1];
    p += 2;
    switch (ordinal) {
      case 0x80:
        return "BUTTON";
      case 0x81:
        return "EDIT";
      case 0x82:
        return "STATIC";
      case 0x83:
        return "LISTBOX";
      case 0x84:
        return "SCROLLBAR";
      case 0x85:
        return "COMBOBOX";
      default:
        return Ordinal(ordinal);
    }
  }
  const wchar_t* start = reinterpret_cast<const wchar_t*>(p);
  int len = static_cast<int>(std::wcslen(start));
  p += len + 1;
  std::string name = Narrow(start, len);
  for (char& c : name) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
  return name;
}

std::string Text(const WORD*& p) {
  if (*p == 0xFFFF) {
    std::string ordinal = Ordinal(p[1]);
    p += 2;
    return ordinal;
  }
  const wchar_t* start = reinterpret_cast<const wchar_t*>(p);
  int len = static_cast<int>(std::wcslen(start));
  p += len + 1;
  return Narrow(start, len);
}

int PrintTemplate(const char* exe) {
  HMODULE module = LoadLibraryExA(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) return 2;
  HRSRC resource = FindResourceA(module, "BOX105", MAKEINTRESOURCEA(5));  // RT_DIALOG
  if (resource == nullptr) return 3;
  auto* base = static_cast<const BYTE*>(LockResource(LoadResource(module, resource)));
  if (base == nullptr || reinterpret_cast<const WORD*>(base)[1] == 0xFFFF) return 4;  // EX
  const auto* header = reinterpret_cast<const DLGTEMPLATE*>(base);
  const WORD* p = reinterpret_cast<const WORD*>(header + 1);
  std::string menu = Text(p);
  std::string window_class = Text(p);
  std::string caption = Text(p);
  std::printf("DIALOG style=%08lX ex=%08lX rect=%d,%d,%d,%d menu=%s class=%s font=%s caption=%s\n",
              static_cast<unsigned long>(header->style),
              static_cast<unsigned long>(header->dwExtendedStyle), header->x, header->y, header->cx,
              header->cy, menu.c_str(), window_class.c_str(),
              (header->style & DS_SETFONT) ? "own" : "system", caption.c_str());
  for (int i = 0; i < header->cdit; ++i) {
    auto at = reinterpret_cast<std::uintptr_t>(p);
    p = reinterpret_cast<const WORD*>((at + 3) & ~static_cast<std::uintptr_t>(3));
    const auto* item = reinterpret_cast<const DLGITEMTEMPLATE*>(p);
    p = reinterpret_cast<const WORD*>(item + 1);
    std::string item_class = NameOrOrdinal(p);
    std::string text = Text(p);
    WORD extra = *p++;
    p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p) + extra);
    std::printf("%d %s style=%08lX ex=%08lX rect=%d,%d,%d,%d text=%s\n", item->id,
                item_class.c_str(), static_cast<unsigned long>(item->style),
                static_cast<unsigned long>(item->dwExtendedStyle), item->x, item->y, item->cx,
                item->cy, text.c_str());
  }
  return 0;
}

HWND Dialog() { return FindWindowA("#32770", kDialogTitle); }

std::string WindowText(HWND window) {
  char buf[512];
  // WM_GETTEXT reaches the controls of another process, GetWindowText does not.
  LRESULT len = SendMessageA(window, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf));
  return std::string(buf, static_cast<std::size_t>(len));
}

int PrintControls(HWND dialog) {
  std::printf("title=%s\n", WindowText(dialog).c_str());
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    std::printf("%d text=%s\n", GetDlgCtrlID(child), WindowText(child).c_str());
  return 0;
}

int PrintFocus(HWND dialog) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info)) return 5;
  std::printf("%d\n", info.hwndFocus ? GetDlgCtrlID(info.hwndFocus) : -1);
  return 0;
}

struct BoxSearch {
  HWND owner;
  int found;
};

BOOL CALLBACK PrintBox(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<BoxSearch*>(param);
  char window_class[64];
  GetClassNameA(window, window_class, sizeof window_class);
  if (std::strcmp(window_class, "#32770") != 0 || GetWindow(window, GW_OWNER) != search->owner)
    return TRUE;
  std::string text;
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    GetClassNameA(child, window_class, sizeof window_class);
    std::string piece = WindowText(child);
    if (_stricmp(window_class, "Static") == 0 && !piece.empty()) text += piece;
  }
  std::printf("%s | %s\n", WindowText(window).c_str(), text.c_str());
  ++search->found;
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "template") == 0) {
    if (argc >= 3) return PrintTemplate(argv[2]);
    char self[MAX_PATH];
    DWORD len = GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string exe(self, len);
    exe = exe.substr(0, exe.find_last_of('\\') + 1) + "livrana.exe";
    return PrintTemplate(exe.c_str());
  }
  HWND dialog = Dialog();
  if (dialog == nullptr) {
    std::fprintf(stderr, "dialog_probe: no window \"%s\"\n", kDialogTitle);
    return 1;
  }
  if (argc >= 2 && std::strcmp(argv[1], "controls") == 0) return PrintControls(dialog);
  if (argc >= 2 && std::strcmp(argv[1], "focus") == 0) return PrintFocus(dialog);
  if (argc >= 3 && std::strcmp(argv[1], "text") == 0) {
    HWND control = GetDlgItem(dialog, std::atoi(argv[2]));
    if (control == nullptr) return 6;
    std::printf("%s\n", WindowText(control).c_str());
    return 0;
  }
  if (argc >= 2 && std::strcmp(argv[1], "boxes") == 0) {
    BoxSearch search = {dialog, 0};
    EnumWindows(PrintBox, reinterpret_cast<LPARAM>(&search));
    return search.found > 0 ? 0 : 7;
  }
  std::fprintf(stderr, "usage: dialog_probe template [EXE] | controls | focus | text ID | boxes\n");
  return 2;
}
