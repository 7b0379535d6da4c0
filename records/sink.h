// What a step may ask of its user interface. The Win32 dialog, the command line and the
// tests each give one; the core never touches a window.
#pragma once

#include <cstdint>
#include <string_view>

namespace livrana {

class Sink {
 public:
  virtual ~Sink() = default;
  virtual void Status(std::string_view text) = 0;  // the status line
  virtual void Inform(std::string_view caption, std::string_view text) = 0;
  virtual void Fail(std::string_view caption, std::string_view text) = 0;  // error icon
  virtual void Warn(std::string_view caption, std::string_view text) = 0;
  virtual bool Ask(std::string_view caption, std::string_view text) = 0;  // yes/no, No default
  virtual void BeginWait() = 0;                                           // wait cursor
  virtual void EndWait() = 0;
  // Whether a progress text shown now would be seen: a step that shows one per record asks
  // first, so that a sink which redraws at its own pace spares it the formatting.
  virtual bool StatusDue() { return true; }
  virtual void Repaint() {}
  virtual void Note(std::string_view /*text*/) {}  // diagnostics; the dialog ignores them
  // A step's company loop has reached record index (from 0) of the register's count records:
  // how far a step that walks the companies has got, for a sink that shows progress.
  virtual void Company(std::int64_t /*index*/, std::int64_t /*count*/) {}
};

// A sink that shows nothing and answers every question No: for work done on the user's
// behalf without a user interface (the plan of a conversion, a dry run).
class SilentSink final : public Sink {
 public:
  void Status(std::string_view) override {}
  void Inform(std::string_view, std::string_view) override {}
  void Fail(std::string_view, std::string_view) override {}
  void Warn(std::string_view, std::string_view) override {}
  bool Ask(std::string_view, std::string_view) override { return false; }
  void BeginWait() override {}
  void EndWait() override {}
  bool StatusDue() override { return false; }
};

// Shows the wait cursor for a scope, giving back the previous one at its end.
class WaitCursor {
 public:
  explicit WaitCursor(Sink& sink) : sink_(sink) { sink_.BeginWait(); }
  ~WaitCursor() { sink_.EndWait(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  Sink& sink_;
};

}  // namespace livrana
