// The console of Windows: WriteConsoleW on a console window, so that every character of
// Windows-1252 shows whatever the console's code page; UTF-8 bytes when the stream is
// redirected to a file or a pipe, as on Linux.
#include "platform/console.h"

#include <windows.h>

#include "platform/cp1252.h"

namespace livrana::platform {
namespace {

HANDLE Handle(ConsoleStream stream) {
  return ::GetStdHandle(stream == ConsoleStream::kOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && handle != nullptr &&
         ::GetConsoleMode(handle, &mode) != 0;
}

}  // namespace

bool IsTerminal(ConsoleStream stream) { return IsConsole(Handle(stream)); }

bool InputIsTerminal() { return IsConsole(::GetStdHandle(STD_INPUT_HANDLE)); }

int TerminalColumns(ConsoleStream stream) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!::GetConsoleScreenBufferInfo(Handle(stream), &info)) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

bool WriteConsoleText(ConsoleStream stream, std::string_view text) {
  HANDLE handle = Handle(stream);
  std::string bytes = Cp1252ToUtf8(text);
  if (bytes.empty()) return true;
  if (IsConsole(handle)) {
    int count =
        ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(count), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(),
                          count);
    DWORD written = 0;
    return ::WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written,
                           nullptr) != 0;
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    if (!::WriteFile(handle, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written,
                     nullptr) ||
        written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

std::optional<std::string> ReadConsoleLine() {
  HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  std::string line;
  if (IsConsole(input)) {
    wchar_t buf[256];
    DWORD got = 0;
    if (!::ReadConsoleW(input, buf, 255, &got, nullptr) || got == 0) return std::nullopt;
    int count =
        ::WideCharToMultiByte(CP_UTF8, 0, buf, static_cast<int>(got), nullptr, 0, nullptr, nullptr);
    line.resize(static_cast<std::size_t>(count));
    ::WideCharToMultiByte(CP_UTF8, 0, buf, static_cast<int>(got), line.data(), count, nullptr,
                          nullptr);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  } else {
    for (;;) {
      char c;
      DWORD got = 0;
      if (!::ReadFile(input, &c, 1, &got, nullptr) || got == 0) {
        if (line.empty()) return std::nullopt;
        break;
      }
      if (c == '\n') break;
      line += c;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
  }
  auto core = Utf8ToCp1252(line);
  return core ? *core : line;
}

}  // namespace livrana::platform
