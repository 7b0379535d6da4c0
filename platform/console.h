// The text console of the command-line program: standard output, standard error and the
// answers typed on standard input. Texts are Windows-1252 in the core; this edge converts
// them (UTF-8 on a Linux terminal, WriteConsoleW on a Windows console).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace livrana::platform {

enum class ConsoleStream { kOutput, kError };

// Whether the stream is a terminal (a console window on Windows).
bool IsTerminal(ConsoleStream stream);
// Whether standard input is a terminal, so that a question can be answered.
bool InputIsTerminal();
// The width of the terminal in columns; 0 when it is not known.
int TerminalColumns(ConsoleStream stream);
// Writes a Windows-1252 text, converted, unbuffered and in full. False on failure.
bool WriteConsoleText(ConsoleStream stream, std::string_view text);
// One line typed on standard input, without its line end, as Windows-1252 (a line that is
// not UTF-8 is taken byte for byte); nothing at the end of the input.
std::optional<std::string> ReadConsoleLine();

}  // namespace livrana::platform
