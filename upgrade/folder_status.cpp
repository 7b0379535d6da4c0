#include "upgrade/folder_status.h"

#include <algorithm>
#include <array>

#include "convert/plan.h"
#include "library/registry.h"
#include "platform/cp1252.h"
#include "platform/process.h"
#include "records/company.h"
#include "records/layouts/phone_tables.h"
#include "records/record_file.h"
#include "run/conversion_log.h"
#include "run/history.h"

namespace livrana {
namespace {

using platform::FileSystem;

constexpr std::size_t kExamples = 3;

// The library step that records a mark.
std::string_view StepOfMark(std::string_view tag) {
  for (const LibraryStep& step : LibrarySteps()) {
    for (std::string_view mark : step.marks) {
      if (mark == tag) return step.name;
    }
  }
  return {};
}

void ReadMarks(FileSystem& fs, FolderStatus& status) {
  for (const KnownMark& mark : KnownMarks()) {
    status.marks.push_back({std::string(mark.tag), std::string(StepOfMark(mark.tag)),
                            std::string(mark.text), ConvFind(fs, mark.tag)});
  }
  auto file = fs.Open(kConversionLog, platform::Access::kRead);
  if (!file) return;
  status.conversion_log_found = true;
  std::string text(static_cast<std::size_t>(
                       std::min<std::uint64_t>(file->Size().value_or(0), std::uint64_t{1} << 20)),
                   '\0');
  auto got = file->ReadAt(0, text.data(), text.size());
  text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = std::min(text.find('\n', at), text.size());
    std::string line = text.substr(at, end - at);
    at = end + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.empty()) continue;
    auto marks = KnownMarks();
    bool known = std::any_of(marks.begin(), marks.end(), [&](const KnownMark& mark) {
      return line.size() >= mark.tag.size() &&
             platform::SameName(std::string_view(line).substr(0, mark.tag.size()), mark.tag);
    });
    if (!known) status.other_log_lines.push_back(line);
  }
}

void ReadCompanies(FileSystem& fs, std::string_view filter, FolderStatus& status) {
  SilentSink sink;
  Context ctx{fs, sink, std::string(filter)};
  FileHandle reg = OpenRead(fs, kCompanyRegister);
  if (!reg) return;
  status.register_found = true;
  reg->SetRecordLength(kCompanyRecordLength);
  std::string code;
  for (std::int64_t n = 0; ReadCompanyField(ctx, reg.get(), n, code, kCompanyCode); ++n) {
    CompanyEntry entry{n, code};
    if (IsDeleted(reg.get(), n, kCompanyRecordLength)) {
      entry.state = CompanyState::kDeleted;
    } else if (!UsableFolderName(code)) {
      entry.state = CompanyState::kUnusable;
    } else {
      entry.selected = filter.empty() || filter == code;
      entry.has_folder = IsFolder(fs, std::string(kCompanyRoot) + "\\" + code);
    }
    status.companies.push_back(std::move(entry));
  }
  CloseFile(reg);
}

}  // namespace

FolderStatus InspectFolder(FileSystem& fs, std::string_view company_filter) {
  FolderStatus status;
  status.layouts = FindLayouts(fs);
  ReadMarks(fs, status);
  ReadCompanies(fs, company_filter, status);
  status.phone_table_exists = fs.Attributes(kPhoneTableFile).has_value();
  status.phone_journal_exists = fs.Attributes(kPhoneJournal).has_value();
  status.lock_file_exists = fs.Attributes(kLockFile).has_value();
  status.lock = ReadLock(fs);
  status.plan = PlanConvert434(fs, company_filter);
  status.upgrade = PlanUpgrade(fs, company_filter, &status.plan);
  status.lock_stale = status.lock && status.lock->host == platform::HostName() &&
                      status.lock->pid != platform::CurrentProcessId() &&
                      !platform::ProcessAlive(status.lock->pid);
  status.history = ReadHistory(fs, kHistoryShown);
  status.runs = RecordedRuns(fs);
  return status;
}

}  // namespace livrana
