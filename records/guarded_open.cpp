#include "records/guarded_open.h"

#include <limits>
#include <optional>
#include <string>

#include "records/format.h"
#include "records/values.h"

namespace livrana {
namespace {

// What FOpen2 has reached so far.
enum class OpenState {
  kNothing,  // nothing opened yet
  kNoEnd,    // opened for appending, but the end of the file could not be taken
  kOutside,  // the wanted record lies outside the file
  kReady,    // open and positioned
};

constexpr std::string_view kCaption = "FOpen2";

// The full size in bytes of an existing file, as its directory entry gives it.
std::optional<std::uint64_t> FileSize(platform::FileSystem& fs, std::string_view path) {
  constexpr std::uint32_t kEveryEntry = platform::kReadOnly | platform::kHidden |
                                        platform::kSystem | platform::kDirectory |
                                        platform::kArchive;
  for (const auto& entry : fs.Find(path, kEveryEntry)) {
    if ((entry.attributes & platform::kDirectory) == 0) return entry.size;
  }
  if (auto file = fs.Open(path, platform::Access::kRead)) return file->Size();
  return std::nullopt;
}

// Positions file at record n of length w.
OpenState PositionAt(RecordFile* file, std::int64_t n, std::int32_t w) {
  return SeekInside(file, n * w) ? OpenState::kReady : OpenState::kOutside;
}

}  // namespace

bool FileBusy(Context& ctx, std::string_view path, BusyMode mode) {
  WaitCursor wait(ctx.sink);
  bool busy = false;
  for (int attempt = 1;; ++attempt) {
    if (!ctx.fs.Busy(path)) break;
    if (attempt >= kBusyAttempts) {
      busy = true;
      break;
    }
    ctx.fs.Pause(kBusyPauseMilliseconds);
  }
  if (!busy || mode == BusyMode::kGoOn) return false;
  if (mode == BusyMode::kMessage) ctx.sink.Warn("FileBusy", "Sistema ocupado, tente novamente.");
  return true;
}

void NoteClearedReadOnly(Context& ctx, const RecordFile* file) {
  if (file == nullptr || !file->cleared_read_only()) return;
  ctx.sink.Note(Format("%s era somente leitura; o atributo foi retirado para gravar o arquivo.",
                       file->path()));
}

FileHandle FOpen2(Context& ctx, std::string_view path, std::int32_t w, std::int32_t& record,
                  bool adding, Reuse reuse, Outcome* why) {
  OpenState state = OpenState::kNothing;
  FileHandle file;
  bool cleared = false;
  Outcome opened;  // why the last opening failed

  if (!adding) {
    file = OpenUpdate(ctx.fs, path, FileMode::kBinary, &opened);
    if (file) {
      if (w > 0) file->SetRecordLength(static_cast<std::uint32_t>(w));
      state = PositionAt(file.get(), record, w);
    }
  } else {
    if (reuse != Reuse::kNone && !FileBusy(ctx, path, BusyMode::kSilent)) {
      file = OpenUpdate(ctx.fs, path);
      if (file && w > 0) {
        file->SetRecordLength(static_cast<std::uint32_t>(w));
        WaitCursor wait(ctx.sink);
        if (reuse == Reuse::kFirst || record <= 0) record = -1;
        // A record can be tested while its last byte lies inside the file.
        std::uint64_t size = file->Size();
        for (std::int64_t n = std::int64_t{record} + 1;
             n <= std::numeric_limits<std::int32_t>::max() &&
             static_cast<std::uint64_t>(n + 1) * static_cast<std::uint64_t>(w) <= size;
             ++n) {
          if (IsDeleted(file.get(), n, w)) {
            record = static_cast<std::int32_t>(n);
            state = PositionAt(file.get(), n, w);
            break;
          }
        }
      }
      // The attribute an opening that is given up cleared is told with the next one.
      if (state == OpenState::kNothing) {
        cleared = file && file->cleared_read_only();
        CloseFile(file);
      }
    }

    if (state == OpenState::kNothing) {
      if (ctx.fs.Attributes(path)) {
        std::uint64_t size = FileSize(ctx.fs, path).value_or(0);
        std::string shown = ValueToText(static_cast<double>(size), 0);
        if (size > kRefusedFileSize) {
          ctx.sink.Fail(
              kCaption,
              Format("O arquivo ultrapassou o limite permitido (2 GB).\nTamanho: %s bytes", shown));
          if (why != nullptr) *why = Outcome::Failed(Operation::kOpen, path, Cause::kTooLarge);
          return nullptr;
        }
        if (size > kQuestionFileSize &&
            !ctx.sink.Ask(kCaption, Format("O arquivo já possui mais de 512 MB.\nTamanho: %s "
                                           "bytes\n\nAvise o suporte técnico.\n\nDeseja continuar?",
                                           shown))) {
          if (why != nullptr) *why = Outcome::Failed(Operation::kOpen, path, Cause::kInterrupted);
          return nullptr;
        }
      }
      record = -1;
      FileBusy(ctx, path, BusyMode::kGoOn);
      file = OpenAppend(ctx.fs, path, FileMode::kBinary, &opened);
      if (file) {
        state = OpenState::kNoEnd;
        std::uint64_t size = file->Size();
        if (w <= 0) {
          state = OpenState::kReady;
        } else {
          std::uint64_t whole = size / static_cast<std::uint64_t>(w);
          std::uint64_t rest = size % static_cast<std::uint64_t>(w);
          std::uint64_t next = rest == 0 ? whole : whole + 1;
          // A record number that would not fit is a position that cannot be checked.
          if (next <= static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
            file->SetRecordLength(static_cast<std::uint32_t>(w));
            state = OpenState::kReady;
            record = static_cast<std::int32_t>(next);
            if (rest != 0)
              file->Write(
                  std::string(static_cast<std::size_t>(static_cast<std::uint64_t>(w) - rest), ' '));
          }
        }
      }
    }
  }

  // A file given up tells its own failure first (a read that failed on the way).
  Outcome closed = state != OpenState::kReady ? CloseFile(file) : Outcome();
  if (state != OpenState::kReady && why != nullptr) {
    if (state == OpenState::kNothing && !opened.ok()) {
      *why = opened;
    } else if (!closed) {
      *why = std::move(closed);
    } else {
      // No end: the file holds more records than a record number can count; else the
      // record lies beyond the end.
      *why = Outcome::Failed(Operation::kOpen, path,
                             state == OpenState::kNoEnd ? Cause::kTooLarge : Cause::kNoRecord);
    }
  }
  switch (state) {
    case OpenState::kReady:
      if (cleared) file->set_cleared_read_only();
      NoteClearedReadOnly(ctx, file.get());
      return file;
    case OpenState::kNoEnd:
      ctx.sink.Fail(kCaption, "Erro ao conferir posições dos registros (at).");
      break;
    case OpenState::kOutside:
      ctx.sink.Fail(kCaption, "Erro ao posicionar arquivo (r+t).");
      break;
    case OpenState::kNothing:
      if (!adding && !ctx.fs.Attributes(path))
        ctx.sink.Fail(kCaption, "Arquivo inexistente.");
      else
        ctx.sink.Fail(kCaption,
                      "Erro ao abrir o arquivo.\nO compartilhamento de arquivos no servidor "
                      "precisa ter permissão para gravação.");
      break;
  }
  return nullptr;
}

}  // namespace livrana
