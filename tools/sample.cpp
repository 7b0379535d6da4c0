#include "tools/sample.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "library/registry.h"
#include "platform/cp1252.h"
#include "platform/forwarding_file_system.h"
#include "platform/memory_file_system.h"
#include "records/company.h"
#include "records/context.h"
#include "records/format.h"
#include "records/layouts/invoices.h"
#include "records/layouts/phone_tables.h"
#include "records/record_file.h"
#include "records/sink.h"
#include "tools/oldest_sample.h"
#include "tools/sample_data.h"

namespace livrana {
namespace {

using sample::Address;
using sample::Amount;
using sample::BusinessName;
using sample::City;
using sample::Contact;
using sample::Description;
using sample::Extension;
using sample::Fax;
using sample::FirstName;
using sample::Landline;
using sample::Mobile;
using sample::Operation;
using sample::PersonName;
using sample::PickCity;
using sample::Put;
using sample::Random;
using sample::StreamFor;
using sample::TableWriter;
using sample::TaxNumber;

constexpr std::int32_t kInvoiceLength = static_cast<std::int32_t>(kInvoiceRecord);

constexpr std::int32_t CompanyOffset(int field) {
  return static_cast<std::int32_t>(CompanyFieldOffset(field));
}
constexpr std::int32_t CompanyWidth(int field) {
  return kCompanyFieldWidths[static_cast<std::size_t>(field)];
}

// The shapes of the two telephone fields that the phone-table phase tells apart.
enum PhoneCase : int {
  kLongFirstAndSecond,  // first text over 37 characters, second text of its own
  kLongFirstOnly,       // first text over 37 characters, second empty
  kFolds,               // both fit in 37 characters with " / " between them
  kFoldsExactly,        // L1 + L2 + 3 = 37
  kMissesFoldByOne,     // L1 + L2 + 3 = 38
  kDoesNotFold,         // both short enough for their fields, too long together
  kSecondRepeatsFirst,  // second text equal to the first
  kSecondRepeatsStart,  // second text equals the start of the first, in other letter case
  kBothEmpty,
  kSecondEmpty,
  kFirstEmpty,
  kPhoneCases
};

struct Phones {
  std::string first, second;
};

std::string LongFirst(Random& r, int area) {  // 38 to 41 characters
  switch (r.Below(3)) {
    case 0:
      return Landline(r, area) + " / " + Mobile(r, area) + Format(" r.%d", r.Between(100, 9999));
    case 1:
      return Landline(r, area) + " / " + Landline(r, area) + Format(" ramal %d", r.Between(1, 99));
    default:
      return Mobile(r, area) + " / " + Landline(r, area) + Format(" ramal %d", r.Between(10, 99));
  }
}

std::string ShortText(Random& r, int area) {
  switch (r.Below(3)) {
    case 0:
      return Extension(r);
    case 1:
      return Contact(r);
    default:
      return Fax(r, area);
  }
}

Phones MakePhones(Random& r, int area, int shape) {
  switch (shape) {
    case kLongFirstAndSecond:
      return {LongFirst(r, area), ShortText(r, area)};
    case kLongFirstOnly:
      return {LongFirst(r, area), ""};
    case kFolds:
      return {r.Percent(50) ? Landline(r, area) : Mobile(r, area),
              r.Percent(50) ? Extension(r) : Contact(r)};
    case kFoldsExactly:
      return {"Tel. " + Mobile(r, area), Landline(r, area)};
    case kMissesFoldByOne:
      return {"Tel. " + Mobile(r, area), Mobile(r, area)};
    case kDoesNotFold:
      return {Landline(r, area) + " / " + Mobile(r, area),
              r.Percent(50) ? Fax(r, area) : Mobile(r, area)};
    case kSecondRepeatsFirst: {
      std::string phone = Landline(r, area);
      return {phone, phone};
    }
    case kSecondRepeatsStart: {
      std::string extension = Extension(r);
      std::string shouted = extension;
      std::transform(shouted.begin(), shouted.end(), shouted.begin(), [](char c) {
        return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
      });
      return {extension + " (" + std::string(FirstName(r)) + ")", shouted};
    }
    case kBothEmpty:
      return {"", ""};
    case kSecondEmpty:
      return {r.Percent(50) ? Landline(r, area) : Mobile(r, area), ""};
    default:
      return {"", r.Percent(50) ? Landline(r, area) : Extension(r)};
  }
}

// The first records of every table go through every shape once; the rest are drawn with
// the frequencies of a real table, where most records have one telephone or none.
int PhoneShape(Random& r, std::int64_t n) {
  if (n < kPhoneCases) return static_cast<int>(n);
  static constexpr std::array<int, kPhoneCases> kWeights = {4, 4, 22, 2, 2, 8, 3, 2, 15, 35, 3};
  int pick = r.Below(100);
  for (int shape = 0; shape < kPhoneCases; ++shape) {
    pick -= kWeights[static_cast<std::size_t>(shape)];
    if (pick < 0) return shape;
  }
  return kSecondEmpty;
}

void PutPhones(std::string& record, Random& r, int area, std::int64_t n) {
  Phones phones = MakePhones(r, area, PhoneShape(r, n));
  Put(record, PhoneFields::kPhone1, PhoneFields::kPhone1Width, phones.first);
  Put(record, PhoneFields::kPhone2, PhoneFields::kPhone2Width, phones.second);
}

class SampleWriter {
 public:
  SampleWriter(platform::FileSystem& fs, const SampleOptions& options)
      : fs_(fs), options_(options) {}

  SampleResult Write() {
    BuildCompanies();
    WriteRegister();
    if (result_.ok) WriteInvoices();
    if (result_.ok) WriteTable(kTable01, kTable01RecordLength, 1);
    if (result_.ok) WriteTable(kTable02, kTable02RecordLength, 2);
    if (result_.ok) WriteTable(kTable08, kTable08RecordLength, 8);
    return result_;
  }

 private:
  struct Company {
    std::string code;
    bool deleted = false;
    bool has_invoices = true;
  };

  std::string Name(std::string path) const {
    if (options_.lower_case_names) {
      for (char& c : path) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      }
    }
    return path;
  }

  // The live companies, with two deleted ones among them: the third record and the last.
  void BuildCompanies() {
    int live = std::max(options_.companies, 0);
    int total = live + 2;
    int first_deleted = std::min(2, live);
    for (int i = 0; i < total; ++i) {
      Company company;
      company.code = Format("%04d", i + 1);
      company.deleted = i == first_deleted || i == total - 1;
      companies_.push_back(company);
    }
    // A company registered but without invoices yet.
    if (options_.gaps && live >= 4)
      companies_[static_cast<std::size_t>(total - 2)].has_invoices = false;
  }

  void WriteRegister() {
    TableWriter writer(fs_, Name(std::string(kCompanyRegister)), kCompanyRecordLength,
                       static_cast<int>(companies_.size()), result_);
    for (std::size_t n = 0; n < companies_.size(); ++n) {
      Random r = StreamFor(options_.seed, 0, n);
      const City& city = PickCity(r);
      std::string record(static_cast<std::size_t>(kCompanyRecordLength), ' ');
      std::string business = BusinessName(r);
      auto put = [&](int field, std::string_view text) {
        Put(record, CompanyOffset(field), CompanyWidth(field), text);
      };
      put(kCompanyCode, companies_[n].code);
      put(1, business);
      put(2, business.substr(0, business.rfind(' ')));
      put(3, Address(r));
      put(7, city.name);
      put(8, Format("%05d-%03d", r.Below(100000), r.Below(1000)));
      put(10, city.state);
      put(16, TaxNumber(r));
      put(17, Format("%03d.%03d.%03d.%03d", r.Below(1000), r.Below(1000), r.Below(1000),
                     r.Below(1000)));
      put(22, Format("contato%s@livrana-exemplo.com.br", companies_[n].code));
      put(26, PersonName(r));
      put(kCompanyRateCode, Format("%02d", r.Between(1, 18)));
      put(kCompanyMergesChart, r.Percent(50) ? "1" : " ");
      PutPhones(record, r, city.area_code, static_cast<std::int64_t>(n));
      put(kCompanyDeleted, companies_[n].deleted ? "+" : " ");
      writer.Add(record);
    }
    writer.Finish();
  }

  bool MakeFolder(const std::string& path) {
    auto attributes = fs_.Attributes(path);
    if ((attributes && (*attributes & platform::kDirectory) != 0) || fs_.MakeFolder(path))
      return true;
    result_.ok = false;
    result_.error = Format("não foi possível criar a pasta %s", path);
    return false;
  }

  void WriteInvoices() {
    if (!MakeFolder(Name(std::string(kCompanyRoot)))) return;
    for (std::size_t c = 0; c < companies_.size() && result_.ok; ++c) {
      const Company& company = companies_[c];
      std::string folder = Name(Format("%s\\%s", kCompanyRoot, company.code));
      if (!MakeFolder(folder) || !company.has_invoices) continue;
      Random years = StreamFor(options_.seed, 1, c);
      int from = options_.first_year, to = options_.last_year;
      int founded = from + (options_.gaps && c > 0 ? years.Below(8) : 0);
      // The first company also has the files of the years just outside the converted ones.
      if (options_.gaps && c == 0) {
        --from;
        ++to;
      }
      for (int year = from; year <= to && result_.ok; ++year) {
        bool inside = year >= options_.first_year && year <= options_.last_year;
        bool missing = options_.gaps && inside && (year < founded || (c > 0 && years.Percent(12)));
        if (missing) continue;
        WriteInvoiceFile(c, year);
      }
    }
  }

  void WriteInvoiceFile(std::size_t company, int year) {
    Random r = StreamFor(options_.seed, 2 + company, static_cast<std::uint64_t>(year));
    TableWriter writer(fs_, Name(Format(kInvoiceFile, companies_[company].code, year)),
                       kInvoiceLength, options_.records, result_);
    int number = r.Between(1, 90000);
    std::string record;
    for (int i = 0; i < options_.records; ++i) {
      record.assign(static_cast<std::size_t>(kInvoiceLength), ' ');
      // Most records qualify for the conversion; the others fail one test each.
      int kind = r.Below(100);
      bool not_zero = kind >= 70 && kind < 80;
      bool mark_at_51 = kind >= 80 && kind < 90;
      bool blank_at_52 = kind >= 90;
      static constexpr std::string_view kOtherKinds = "12349C";
      record[InvoiceLayout::kKind] =
          not_zero ? kOtherKinds[static_cast<std::size_t>(r.Below(6))] : '0';
      Put(record, 1, 8, Format("%08d", number + i));
      Put(record, 9, 33, r.Percent(60) ? BusinessName(r) : PersonName(r));
      Put(record, 42, 8, Format("%02d%02d%04d", r.Between(1, 28), r.Between(1, 12), year));
      static constexpr std::string_view kMarks = "SA1*";
      if (mark_at_51) record[InvoiceLayout::kGap] = kMarks[static_cast<std::size_t>(r.Below(4))];
      if (!blank_at_52)
        Put(record, InvoiceLayout::kOld, InvoiceLayout::kOldWidth,
            Format("%05d%05d", r.Between(10000, 99999), r.Below(100000)));
      Put(record, 62, 14, Amount(r, r.Percent(90) ? 9999 : 2000000));
      Put(record, InvoiceLayout::kMid, InvoiceLayout::kMidWidth, Operation(r));
      Put(record, 89, 38, Description(r));
      Put(record, 138, 14, Amount(r, 999));
      Put(record, 152, 2, PickCity(r).state);
      Put(record, 154, 18, TaxNumber(r));
      writer.Add(record);
    }
    writer.Finish();
  }

  // F01R0.DAT, F02R1.DAT and F08R1.DAT: a code in the first 10 characters, names and
  // addresses, and the two telephone fields at the same offsets as in the register.
  void WriteTable(std::string_view name, std::int32_t length, int kind) {
    TableWriter writer(fs_, Name(std::string(name)), length, options_.phone_records, result_);
    for (int n = 0; n < options_.phone_records; ++n) {
      Random r = StreamFor(options_.seed, 100 + static_cast<std::uint64_t>(kind),
                           static_cast<std::uint64_t>(n));
      const City& city = PickCity(r);
      std::string record(static_cast<std::size_t>(length), ' ');
      Put(record, PhoneFields::kCode, PhoneFields::kCodeWidth, Format("%06d", n + 1));
      Put(record, 10, 40, r.Percent(50) ? BusinessName(r) : PersonName(r));
      Put(record, 50, 40, Address(r));
      Put(record, 90, 30, city.name);
      Put(record, 120, 2, city.state);
      Put(record, 122, 9, Format("%05d-%03d", r.Below(100000), r.Below(1000)));
      Put(record, 131, 18, TaxNumber(r));
      PutPhones(record, r, city.area_code, n);
      Put(record, 354, 18, PersonName(r));
      if (r.Percent(5)) record.back() = '+';
      writer.Add(record);
    }
    writer.Finish();
  }

  platform::FileSystem& fs_;
  const SampleOptions& options_;
  SampleResult result_;
  std::vector<Company> companies_;
};

// Every kind of directory entry, for the walks over the whole folder.
constexpr std::uint32_t kEveryEntry = platform::kReadOnly | platform::kHidden | platform::kSystem |
                                      platform::kDirectory | platform::kArchive;

// Where the steps put their safety copies while they build a sample: a folder of the data
// folder whose name no step looks for (no digit first, no extension), removed at the end.
constexpr std::string_view kScratchFolder = "~TEMP-AMOSTRA";

// The file system that the steps of the chain see while they build a sample: the sample's
// own, with the scratch folder as the temporary folder, a fixed current year (the sample's
// last one; version 3.20 names a table by it) and directory listings in name order, as
// Windows gives them, so that the folder comes out the same on every file system.
class ChainFileSystem final : public platform::ForwardingFileSystem {
 public:
  ChainFileSystem(platform::FileSystem& inner, int year)
      : ForwardingFileSystem(inner), year_(year) {}

  std::string TempFolder() override { return std::string(kScratchFolder) + "\\"; }
  int CurrentYear() override { return year_; }
  using FileSystem::Find;
  std::vector<platform::DirEntry> Find(std::string_view pattern, std::uint32_t mask,
                                       Outcome& why) override {
    std::vector<platform::DirEntry> entries = inner_.Find(pattern, mask, why);
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
      return std::lexicographical_compare(
          a.name.begin(), a.name.end(), b.name.begin(), b.name.end(), [](char x, char y) {
            return platform::FoldCase(static_cast<unsigned char>(x)) <
                   platform::FoldCase(static_cast<unsigned char>(y));
          });
    });
    return entries;
  }

 private:
  int year_;
};

// Removes a folder with everything in it.
void RemoveTree(platform::FileSystem& fs, const std::string& folder) {
  for (const platform::DirEntry& entry : fs.Find(platform::JoinPath(folder, "*"), kEveryEntry)) {
    std::string path = platform::JoinPath(folder, entry.name);
    if ((entry.attributes & platform::kDirectory) != 0) {
      RemoveTree(fs, path);
    } else {
      if ((entry.attributes & platform::kReadOnly) != 0) fs.SetReadOnly(path, false);
      fs.Remove(path);
    }
  }
  fs.RemoveFolder(folder);
}

// Counts the files of a folder and their bytes, the folders below it included.
void CountFiles(platform::FileSystem& fs, const std::string& folder, SampleResult& result) {
  for (const platform::DirEntry& entry : fs.Find(platform::JoinPath(folder, "*"), kEveryEntry)) {
    if ((entry.attributes & platform::kDirectory) != 0) {
      CountFiles(fs, platform::JoinPath(folder, entry.name), result);
    } else {
      ++result.files;
      result.bytes += entry.size;
    }
  }
}

// The user interface of the steps while they build a sample: shows nothing, answers No,
// and keeps the first failure a step reports.
class QuietSink final : public Sink {
 public:
  void Status(std::string_view) override {}
  void Inform(std::string_view, std::string_view) override {}
  void Fail(std::string_view caption, std::string_view text) override {
    if (failure.empty()) failure = Format("%s: %s", caption, text);
  }
  void Warn(std::string_view, std::string_view) override {}
  bool Ask(std::string_view, std::string_view) override { return false; }
  void BeginWait() override {}
  void EndWait() override {}
  bool StatusDue() override { return false; }

  std::string failure;
};

// Takes the oldest folder through every step of the library before `before`.
void RunStepsBefore(platform::FileSystem& fs, const SampleOptions& options, std::string_view before,
                    SampleResult& result) {
  if (LibrarySteps().empty() || LibrarySteps().front().name == before) return;
  if (!fs.MakeFolder(kScratchFolder)) {
    result.ok = false;
    result.error = Format("não foi possível criar a pasta %s", kScratchFolder);
    return;
  }
  ChainFileSystem chain(fs, std::max(options.first_year, options.last_year));
  QuietSink sink;
  Context ctx{chain, sink, ""};
  for (const LibraryStep& step : LibrarySteps()) {
    if (step.name == before) break;
    Outcome ran = RunLibraryStep(step, ctx);
    if (!ran || !sink.failure.empty()) {
      result.ok = false;
      result.error = Format("a etapa %s falhou: %s", step.name,
                            sink.failure.empty() ? Describe(ran) : sink.failure);
      break;
    }
  }
  RemoveTree(fs, std::string(kScratchFolder));
}

SampleResult WriteLayout(platform::FileSystem& fs, const SampleOptions& options) {
  if (options.before.empty()) {
    SampleResult result = SampleWriter(fs, options).Write();
    result.records = options.records;
    return result;
  }
  if (FindLibraryStep(options.before) == nullptr) {
    SampleResult result;
    result.ok = false;
    result.error = Format("etapa desconhecida: %s", options.before);
    return result;
  }
  SampleResult result = WriteOldestFolder(fs, options);
  if (result.ok) RunStepsBefore(fs, options, options.before, result);
  if (result.ok) {
    result.files = 0;
    result.bytes = 0;
    CountFiles(fs, "", result);
  }
  result.records = options.records;
  return result;
}

// The records that give a folder of at least about min_bytes: the size grows by the same
// amount with every record, so two small folders in memory tell by how much. A register
// of many companies is measured with fewer and scaled.
int RecordsForSize(const SampleOptions& options) {
  constexpr int kFewer = 30, kMore = 90, kMeasuredCompanies = 12;
  SampleOptions probe = options;
  probe.min_bytes = 0;
  probe.companies = std::min(std::max(options.companies, 0), kMeasuredCompanies);
  auto size = [&probe](int records) {
    platform::MemoryFileSystem memory;
    probe.records = records;
    SampleResult result = WriteLayout(memory, probe);
    return result.ok ? static_cast<double>(result.bytes) : 0.0;
  };
  const double fewer = size(kFewer), more = size(kMore);
  const double per_record = (more - fewer) / (kMore - kFewer);
  if (per_record <= 0) return options.records;
  const double scale =
      probe.companies > 0 ? static_cast<double>(options.companies) / probe.companies : 1.0;
  const double fixed = fewer - per_record * kFewer;
  // A little more than the estimate, so that the folder is not short of the size.
  const double wanted = static_cast<double>(options.min_bytes) * 1.02 / scale;
  const double records = std::ceil((wanted - fixed) / per_record);
  return static_cast<int>(std::clamp(records, 0.0, static_cast<double>(kSampleMaxRecords)));
}

}  // namespace

SampleResult WriteSampleFolder(platform::FileSystem& fs, const SampleOptions& options) {
  if (!fs.Find("*", 0x37).empty()) {
    SampleResult result;
    result.ok = false;
    result.error = "a pasta não está vazia; o exemplo só é escrito numa pasta nova ou vazia";
    return result;
  }
  if (options.min_bytes == 0) return WriteLayout(fs, options);
  SampleOptions sized = options;
  sized.min_bytes = 0;
  sized.records = RecordsForSize(options);
  return WriteLayout(fs, sized);
}

}  // namespace livrana
