#include "cli/terminal_sink.h"

#include "platform/cp1252.h"

namespace livrana::cli {
namespace {

using platform::ConsoleStream;

// A redraw at most every 50 ms: a step that shows a status text per record costs little.
constexpr auto kRedrawInterval = std::chrono::milliseconds(50);
constexpr int kUncheckedCalls = 63;

std::string Line(std::string_view caption, std::string_view text) {
  std::string line;
  if (!caption.empty()) {
    line += caption;
    line += ": ";
  }
  line += text;
  line += '\n';
  return line;
}

}  // namespace

TerminalSink::TerminalSink(Options options) : options_(options) {
  if (options_.quiet) return;
  // Standard error first, so that the status line stays out of an output that is sent to
  // a file or a pipe.
  if (platform::IsTerminal(ConsoleStream::kError)) {
    status_stream_ = ConsoleStream::kError;
  } else if (!options_.report && platform::IsTerminal(ConsoleStream::kOutput)) {
    status_stream_ = ConsoleStream::kOutput;
  }
  if (status_stream_) columns_ = platform::TerminalColumns(*status_stream_);
}

void TerminalSink::Status(std::string_view text) {
  if (!status_stream_) return;
  pending_.assign(text);
  pending_shown_ = false;
  auto now = std::chrono::steady_clock::now();
  if (now - last_draw_ >= kRedrawInterval) {
    last_draw_ = now;
    Draw();
  }
}

void TerminalSink::Company(std::int64_t index, std::int64_t count) {
  company_ = {index, count};
  if (status_stream_ && prefix_) Status(std::string(pending_));
}

bool TerminalSink::StatusDue() {
  if (!status_stream_) return false;
  // A step asks once per record: the clock is read on every 64th call only (a few
  // microseconds of records apart), which costs less than the record itself.
  if (unchecked_ > 0) {
    --unchecked_;
    return false;
  }
  unchecked_ = kUncheckedCalls;
  return std::chrono::steady_clock::now() - last_draw_ >= kRedrawInterval;
}

void TerminalSink::Draw() {
  std::string line = prefix_ ? prefix_() + pending_ : pending_;
  for (char& c : line) {
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  }
  // One line only: a text wider than the terminal would wrap and could not be rewritten.
  if (columns_ > 1 && line.size() >= static_cast<std::size_t>(columns_)) {
    line.resize(static_cast<std::size_t>(columns_ - 1));
  }
  std::size_t length = line.size();
  if (length < drawn_length_) line.append(drawn_length_ - length, ' ');
  platform::WriteConsoleText(*status_stream_, "\r" + line);
  drawn_length_ = length;
  pending_shown_ = true;
  line_open_ = true;
}

void TerminalSink::Finish() {
  if (!status_stream_) return;
  if (line_open_) {
    platform::WriteConsoleText(*status_stream_, "\r" + std::string(drawn_length_, ' ') + "\r");
  }
  line_open_ = false;
  drawn_length_ = 0;
  pending_shown_ = true;
}

void TerminalSink::Write(ConsoleStream stream, std::string_view text) {
  Finish();
  platform::WriteConsoleText(stream, text);
}

void TerminalSink::Inform(std::string_view caption, std::string_view text) {
  messages_.push_back({"inform", std::string(caption), std::string(text), std::nullopt});
  if (!options_.report) Write(ConsoleStream::kOutput, Line("", text));
}

void TerminalSink::Fail(std::string_view caption, std::string_view text) {
  messages_.push_back({"fail", std::string(caption), std::string(text), std::nullopt});
  Write(ConsoleStream::kError, Line(caption, text));
}

void TerminalSink::Warn(std::string_view caption, std::string_view text) {
  messages_.push_back({"warn", std::string(caption), std::string(text), std::nullopt});
  Write(ConsoleStream::kError, Line(caption, text));
}

void TerminalSink::Note(std::string_view text) {
  messages_.push_back({"note", "", std::string(text), std::nullopt});
  Write(ConsoleStream::kError, Line("", text));
}

void TerminalSink::PrintLine(std::string_view text) { Inform("", text); }

void TerminalSink::ErrorLine(std::string_view text) { Fail("", text); }

bool TerminalSink::Ask(std::string_view caption, std::string_view text) {
  bool yes = Answer(caption, text);
  messages_.push_back({"ask", std::string(caption), std::string(text), yes});
  return yes;
}

bool TerminalSink::Answer(std::string_view caption, std::string_view text) {
  std::string question = Line(caption, text);
  question.pop_back();
  if (options_.answer) {
    Write(ConsoleStream::kError,
          question + (*options_.answer ? " [s/n] s (--yes)\n" : " [s/n] n (--no)\n"));
    return *options_.answer;
  }
  if (!platform::InputIsTerminal() || !platform::IsTerminal(ConsoleStream::kError)) {
    Write(ConsoleStream::kError, question + " [s/n] n (sem terminal para responder)\n");
    return false;
  }
  Write(ConsoleStream::kError, question + " [s/N] ");
  for (;;) {
    auto answer = platform::ReadConsoleLine();
    if (!answer) {
      platform::WriteConsoleText(ConsoleStream::kError, "\n");
      return false;
    }
    std::string word = *answer;
    while (!word.empty() && word.back() == ' ') word.pop_back();
    while (!word.empty() && word.front() == ' ') word.erase(0, 1);
    for (char& c : word) c = static_cast<char>(platform::FoldCase(static_cast<unsigned char>(c)));
    if (word == "S" || word == "SIM") return true;
    if (word.empty() || word == "N" || word == "NÃO" || word == "NAO") return false;
    platform::WriteConsoleText(ConsoleStream::kError, "Responda s (sim) ou n (não): ");
  }
}

}  // namespace livrana::cli
