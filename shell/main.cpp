// The converter's program entry: a 0 x 0 main window that carries the title and owns the
// conversion dialog, which opens at once. The program ends when the dialog closes.
#include <string>

#include "shell/dialog.h"

namespace livrana::shell {
namespace {

constexpr WPARAM kOpenDialogCommand = 100;

// The letter of the current drive in upper case; 0 on a network path.
char CurrentDrive() {
  DWORD size = GetCurrentDirectoryA(0, nullptr);
  if (size == 0) return 0;
  std::string folder(size, '\0');
  DWORD len = GetCurrentDirectoryA(size, folder.data());
  if (len < 2 || len >= size || folder[1] != ':') return 0;
  char drive = folder[0];
  return (drive >= 'a' && drive <= 'z') ? static_cast<char>(drive - 'a' + 'A') : drive;
}

// The product's data folder, when the program starts on the drive it lives on. A missing
// folder leaves the program where it started.
void GoToDataFolder() {
  if (CurrentDrive() == 'A') SetCurrentDirectoryA("C:");
  if (CurrentDrive() == 'C') SetCurrentDirectoryA("C:\\Vemo\\Vuk");
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      if (wparam == kOpenDialogCommand) {
        DialogBoxParamA(reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE)),
                        "BOX105", window, ConversionDialogProc, 0);
        DestroyWindow(window);
      }
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wparam, lparam);
  }
}

}  // namespace
}  // namespace livrana::shell

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  using namespace livrana::shell;
  WNDCLASSEXA window_class = {};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = MainWindowProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  window_class.lpszClassName = "MyWin";
  if (RegisterClassExA(&window_class) == 0) return 0;

  HWND window = CreateWindowExA(0, "MyWin", "Livrana 4.38", WS_POPUP | WS_CAPTION | WS_SYSMENU, 0,
                                0, 0, 0, nullptr, nullptr, instance, nullptr);
  // Without a main window no quit message would ever come: end at once.
  if (window == nullptr) return 0;
  ShowWindow(window, show);
  UpdateWindow(window);

  GoToDataFolder();
  SendMessageA(window, WM_COMMAND, kOpenDialogCommand, 0);  // returns when the dialog has ended

  MSG message;
  BOOL got;
  while ((got = GetMessageA(&message, nullptr, 0, 0)) != 0) {
    if (got == -1) return 0;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}
