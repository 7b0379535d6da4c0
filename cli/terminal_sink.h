// The status sink of the command line: status texts as one line rewritten in place on a
// terminal, information on standard output, errors and warnings on standard error as
// "caption: text", questions answered by --yes or --no or typed on the terminal.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/console.h"
#include "records/sink.h"

namespace livrana::cli {

class TerminalSink final : public Sink {
 public:
  struct Options {
    bool quiet = false;          // no status line
    std::optional<bool> answer;  // --yes / --no
    // --json: standard output is kept for the report, so information messages are only
    // kept (see messages()) and the status line goes to standard error alone.
    bool report = false;
  };
  // Everything shown, in order, for the report.
  struct Message {
    std::string kind;  // "inform", "fail", "warn", "note", "ask"
    std::string caption, text;
    std::optional<bool> answer;  // for a question
  };
  explicit TerminalSink(Options options);
  ~TerminalSink() override { Finish(); }

  void Status(std::string_view text) override;
  // Whether a status text given now would be drawn (not at all without a terminal, and at
  // most 20 times a second).
  bool StatusDue() override;
  void Inform(std::string_view caption, std::string_view text) override;
  void Fail(std::string_view caption, std::string_view text) override;
  void Warn(std::string_view caption, std::string_view text) override;
  bool Ask(std::string_view caption, std::string_view text) override;
  void BeginWait() override {}
  void EndWait() override {}
  void Note(std::string_view text) override;
  // Kept for the progress prefix, and drawn (when due) even by a step that shows no status
  // text of its own.
  void Company(std::int64_t index, std::int64_t count) override;

  // A line of the program's own: on standard output, or on standard error.
  void PrintLine(std::string_view text);
  void ErrorLine(std::string_view text);
  // Clears the status line: what the run ends with is said in its own lines.
  void Finish();
  // A text put before every status text (the progress of a run of several steps).
  void SetPrefix(std::function<std::string()> prefix) { prefix_ = std::move(prefix); }
  const std::vector<Message>& messages() const { return messages_; }
  // The last status text given.
  const std::string& status() const { return pending_; }
  // The company the step's company loop reached last, from 0, and the register's count; a
  // count of 0 when no loop has told one since ForgetCompany.
  std::pair<std::int64_t, std::int64_t> company() const { return company_; }
  void ForgetCompany() { company_ = {0, 0}; }

 private:
  void Draw();
  bool Answer(std::string_view caption, std::string_view text);
  void Write(platform::ConsoleStream stream, std::string_view text);

  Options options_;
  std::function<std::string()> prefix_;
  std::vector<Message> messages_;
  std::optional<platform::ConsoleStream> status_stream_;  // none: status texts not shown
  int columns_ = 0;
  std::string pending_;        // the last status text
  bool pending_shown_ = true;  // pending_ is what the line shows
  bool line_open_ = false;     // a status line is on the screen, not yet ended
  std::size_t drawn_length_ = 0;
  std::chrono::steady_clock::time_point last_draw_{};
  int unchecked_ = 0;  // calls of StatusDue left before it reads the clock again
  std::pair<std::int64_t, std::int64_t> company_{0, 0};
};

}  // namespace livrana::cli
