#include "run/step_journal.h"

#include <charconv>

#include "platform/cp1252.h"
#include "records/format.h"
#include "run/conversion_log.h"
#include "run/safety.h"

namespace livrana {
namespace {

constexpr char kSeparator = '|';  // between the two paths of a line; no file name holds it
constexpr std::string_view kCommitLine = "C";

std::string WorkName(std::string_view target) {
  return std::string(target) + std::string(kWorkSuffix);
}

// The whole lines of the journal (a torn last line, written when the run stopped, is not
// one of them) and whether the commit line is among them.
struct JournalText {
  std::vector<std::string> lines;
  bool committed = false;
  std::string step;  // the step that wrote it, when it says
};

Outcome ReadJournal(platform::FileSystem& fs, JournalText& text) {
  Outcome why;
  FileHandle file = OpenRead(fs, kStepJournal, FileMode::kBinary, &why);
  if (!file) return why;
  std::string data(static_cast<std::size_t>(file->Size()), '\0');
  data.resize(file->Read(data.data(), data.size()));
  if (Outcome read = CloseFile(file); !read) return read;
  for (std::size_t at = 0;;) {
    std::size_t end = data.find("\r\n", at);
    if (end == std::string::npos) break;
    std::string line = data.substr(at, end - at);
    at = end + 2;
    if (line == kCommitLine) {
      text.committed = true;
      break;  // nothing is written after the commit line
    }
    if (line.starts_with("S ")) {
      text.step = line.substr(2);
      continue;
    }
    text.lines.push_back(std::move(line));
  }
  return {};
}

// Gives a target back what it held: its size, or its absence.
Outcome Restore(platform::FileSystem& fs, std::string_view held, std::string_view path) {
  if (held == "-") {
    if (!fs.Attributes(path)) return {};
    // A copy of a read-only file is read-only too; the conversion made it, so it goes.
    MakeWritable(fs, path);
    return fs.Remove(path);
  }
  std::uint64_t size = 0;
  auto [end, ec] = std::from_chars(held.data(), held.data() + held.size(), size);
  if (ec != std::errc() || end != held.data() + held.size()) {
    return Outcome::Failed(Operation::kRead, kStepJournal, Cause::kDamaged);
  }
  Outcome why;
  auto file = fs.Open(path, platform::Access::kReadWrite, why);
  if (!file) return why.cause() == Cause::kNotFound ? Outcome() : why.InFile(path);
  Outcome cut;
  if (file->Size().value_or(0) > size) {
    cut = file->Truncate(size);
    cut.Also(file->Sync());
  }
  cut.Also(file->Close());
  return cut.InFile(path);
}

// Carries out one action of a committed list; an action already done is passed over.
Outcome CarryOut(Context& ctx, char kind, std::string_view text) {
  std::string_view first = text, second;
  if (auto bar = text.find(kSeparator); bar != std::string_view::npos) {
    first = text.substr(0, bar);
    second = text.substr(bar + 1);
  }
  platform::FileSystem& fs = ctx.fs;
  switch (kind) {
    case 'M': {
      if (!fs.Attributes(first)) return {};
      Outcome why;
      if (MoveToSafety(ctx, first, kSafetySubfolder, &why)) return {};
      return why.ok() ? Outcome::Failed(Operation::kRename, first, Cause::kNoSafetyFolder) : why;
    }
    case 'D':
      if (!fs.Attributes(first)) return {};
      return fs.Remove(first);
    case 'R':
      if (!fs.Attributes(first)) return {};
      return fs.Rename(first, second);
    case 'B':
      if (!fs.Attributes(first)) return {};
      if (fs.Attributes(second)) {
        if (Outcome saved = CarryOut(ctx, 'M', second); !saved) return saved;
      }
      return fs.Rename(first, second);
    case 'P':
      if (!fs.Attributes(first)) return {};
      // Put in place as the product's openings write: a read-only original is made writable.
      MakeWritable(fs, second);
      return fs.Replace(first, second);
    case 'K':
      return ConvMark(fs, first);
    default:
      return Outcome::Failed(Operation::kRead, kStepJournal, Cause::kDamaged);
  }
}

// Carries out the list of a committed journal, in order, and removes the journal.
Outcome Finish(Context& ctx, const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    if (line.size() < 2 || line[0] == 'T') continue;
    if (Outcome done = CarryOut(ctx, line[0], std::string_view(line).substr(2)); !done) return done;
  }
  return ctx.fs.Remove(kStepJournal);
}

// Gives every target of an uncommitted journal back what it held, and removes the journal.
Outcome RollBack(platform::FileSystem& fs, const std::vector<std::string>& lines) {
  Outcome restored;
  for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
    const std::string& line = *it;
    if (line.size() < 2 || line[0] != 'T') continue;
    std::string_view rest = std::string_view(line).substr(2);
    std::size_t space = rest.find(' ');
    if (space == std::string_view::npos) continue;
    restored.Also(Restore(fs, rest.substr(0, space), rest.substr(space + 1)));
  }
  if (!restored) return restored;
  return fs.Remove(kStepJournal);
}

}  // namespace

Conversion::~Conversion() {
  if (!finished_ && !empty()) (void)Abandon();  // the next run rolls back what this could not
}

Outcome Conversion::AppendToJournal(std::string_view lines) {
  if (!journal_) {
    Outcome why;
    journal_ = OpenCreate(ctx_.fs, kStepJournal, FileMode::kBinary, &why);
    if (!journal_) return why;
    if (!step_.empty()) journal_->Write(Format("S %s\r\n", step_));
  }
  journal_->Seek(journal_->Size());
  journal_->Write(lines);
  return journal_->Sync();
}

Outcome Conversion::Note(std::string_view target) {
  if (!noted_keys_.insert(platform::FoldedPath(target)).second) return {};
  std::string held = "-";
  if (auto attributes = ctx_.fs.Attributes(target)) {
    if ((*attributes & platform::kDirectory) != 0) {
      return Outcome::Failed(Operation::kCreate, target, Cause::kNotAFile);
    }
    Outcome why;
    auto file = ctx_.fs.Open(target, platform::Access::kRead, why);
    if (!file) return why.InFile(target);
    held = Format("%lu", static_cast<unsigned long>(file->Size().value_or(0)));
  }
  noted_.emplace_back(target);
  return AppendToJournal(Format("T %s %s\r\n", held, target));
}

FileHandle Conversion::Create(std::string_view target, FileMode mode, Outcome* why) {
  if (Outcome noted = Note(target); !noted) {
    if (why != nullptr) *why = std::move(noted);
    return nullptr;
  }
  return OpenCreate(ctx_.fs, target, mode, why);
}

FileHandle Conversion::Append(std::string_view target, FileMode mode, Outcome* why) {
  if (Outcome noted = Note(target); !noted) {
    if (why != nullptr) *why = std::move(noted);
    return nullptr;
  }
  return OpenAppend(ctx_.fs, target, mode, why);
}

FileHandle Conversion::Rewrite(std::string_view target, FileMode mode, Outcome* why) {
  std::string work = WorkName(target);
  FileHandle file = Create(work, mode, why);
  if (file) Act('P', work + kSeparator + std::string(target));
  return file;
}

void Conversion::RenameAtCommit(std::string_view from, std::string_view to) {
  Act('R', std::string(from) + kSeparator + std::string(to));
}

void Conversion::SetAsideAtCommit(std::string_view from, std::string_view to) {
  Act('B', std::string(from) + kSeparator + std::string(to));
}

void Conversion::Act(char kind, std::string_view text) {
  actions_.push_back(std::string(1, kind) + " " + std::string(text));
}

Outcome Conversion::Commit() {
  if (finished_) return {};
  if (empty()) {
    finished_ = true;
    return {};
  }
  // Every target reaches the disk before the commit line does.
  Outcome durable;
  for (const std::string& target : noted_) {
    Outcome why;
    auto file = ctx_.fs.Open(target, platform::Access::kReadWrite, why);
    // A copy of a read-only file is read-only too: it is made durable through a reading.
    if (!file && why.cause() == Cause::kReadOnly) {
      file = ctx_.fs.Open(target, platform::Access::kRead, why);
    }
    if (!file) {
      if (why.cause() == Cause::kNotFound) continue;  // a target the step did not make
      durable = why.InFile(target);
      break;
    }
    durable = file->Sync();
    durable.Also(file->Close());
    durable.InFile(target);
    if (!durable) break;
  }
  std::string list;
  for (const std::string& action : actions_) list += action + "\r\n";
  list += std::string(kCommitLine) + "\r\n";
  if (durable && !journal_) durable = AppendToJournal("");
  if (durable) {
    journal_->Seek(journal_->Size());
    journal_->Write(list);
    durable = journal_->Flush();
  }
  if (durable) {
    if (Outcome synced = journal_->Sync(); !synced) {
      // The commit line was written, only its sync failed: whether it is on the disk is not
      // known. The journal stays for the next run, which finishes the conversion or rolls it
      // back and knows from the journal whose conversion it was.
      (void)CloseFile(journal_);
      finished_ = true;
      return synced;
    }
  }
  if (!durable) {
    // The commit line may be in the file without having reached the disk: a commit that
    // was not confirmed is no commit, so the targets are given back and the failure told;
    // only a run stopped after the commit's sync leaves the list for the next one.
    finished_ = true;
    (void)CloseFile(journal_);
    JournalText text;
    if (ReadJournal(ctx_.fs, text)) (void)RollBack(ctx_.fs, text.lines);
    return durable;
  }
  if (Outcome listed = AppendToJournal(list); !listed) {
    // The commit line may have reached the journal: the journal stays as it is, and the
    // next run finishes the conversion or rolls it back, as it finds it.
    (void)CloseFile(journal_);
    finished_ = true;
    return listed;
  }
  Outcome closed = CloseFile(journal_);
  finished_ = true;
  if (!closed) return closed;  // the next run carries the list out
  return Finish(ctx_, actions_);
}

Outcome Conversion::Abandon() {
  finished_ = true;
  (void)CloseFile(journal_);
  JournalText text;
  Outcome read = ReadJournal(ctx_.fs, text);
  if (!read) return read.cause() == Cause::kNotFound ? Outcome() : read;
  return text.committed ? Finish(ctx_, text.lines) : RollBack(ctx_.fs, text.lines);
}

Outcome RecoverConversion(Context& ctx, std::string* step) {
  if (step != nullptr) step->clear();
  if (!ctx.fs.Attributes(kStepJournal)) return {};
  JournalText text;
  if (Outcome read = ReadJournal(ctx.fs, text); !read) return read;
  if (step != nullptr) *step = text.step;
  return text.committed ? Finish(ctx, text.lines) : RollBack(ctx.fs, text.lines);
}

std::string InterruptedStep(platform::FileSystem& fs) {
  if (!fs.Attributes(kStepJournal)) return {};
  JournalText text;
  if (!ReadJournal(fs, text)) return {};
  return text.step;
}

}  // namespace livrana
