// The console of a Linux host: UTF-8 on the terminal, as the terminal of a Samba server
// runs.
#include "platform/console.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/cp1252.h"

namespace livrana::platform {
namespace {

int Descriptor(ConsoleStream stream) {
  return stream == ConsoleStream::kOutput ? STDOUT_FILENO : STDERR_FILENO;
}

}  // namespace

bool IsTerminal(ConsoleStream stream) { return ::isatty(Descriptor(stream)) == 1; }

bool InputIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }

int TerminalColumns(ConsoleStream stream) {
  struct winsize size = {};
  if (::ioctl(Descriptor(stream), TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

bool WriteConsoleText(ConsoleStream stream, std::string_view text) {
  std::string bytes = Cp1252ToUtf8(text);
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t put = ::write(Descriptor(stream), bytes.data() + done, bytes.size() - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(put);
  }
  return true;
}

std::optional<std::string> ReadConsoleLine() {
  // Byte by byte, so that nothing typed after the line is taken from the input.
  std::string line;
  for (;;) {
    char c;
    ssize_t got = ::read(STDIN_FILENO, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (line.empty()) return std::nullopt;
      break;
    }
    if (c == '\n') break;
    line += c;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  auto core = Utf8ToCp1252(line);
  return core ? *core : line;
}

}  // namespace livrana::platform
