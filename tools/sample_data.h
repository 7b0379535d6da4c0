// What the sample folders of every layout share: their own random numbers (the same on
// every host), Brazilian-looking names, addresses, telephones and amounts, and the writer
// of a record file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file_system.h"
#include "records/record_file.h"
#include "tools/sample.h"

namespace livrana::sample {

// splitmix64: small, fast and the same everywhere, unlike the distributions of <random>.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint64_t>(n)); }
  int Between(int lo, int hi) { return lo + Below(hi - lo + 1); }
  bool Percent(int p) { return Below(100) < p; }
  template <std::size_t N>
  std::string_view Pick(const std::string_view (&pool)[N]) {
    return pool[Below(static_cast<int>(N))];
  }

 private:
  std::uint64_t state_;
};

// An independent stream for one part of the folder, so that each file depends only on the
// seed and on what it is, not on the order in which the others were written.
Random StreamFor(std::uint64_t seed, std::uint64_t a, std::uint64_t b = 0);

struct City {
  std::string_view name, state;
  int area_code;
};
const City& PickCity(Random& r);

std::string_view FirstName(Random& r);
std::string_view Street(Random& r);
std::string_view Operation(Random& r);    // "CFOP 5102"
std::string_view Description(Random& r);  // "Venda de mercadorias"

std::string PersonName(Random& r);
std::string BusinessName(Random& r);
std::string TaxNumber(Random& r);              // CNPJ, "12.345.678/0001-90"
std::string Amount(Random& r, int max_reais);  // "1.234,56"
std::string Address(Random& r);                // "Rua das Acácias, 123"

// Telephone texts: "(11) 3456-7890" (14), "(11) 98765-4321" (15), "Ramal 123" (8-9),
// "Falar com João" (at most 19), "Fax (11) 3456-7890" (18).
std::string Landline(Random& r, int area);
std::string Mobile(Random& r, int area);
std::string Extension(Random& r);
std::string Contact(Random& r);
std::string Fax(Random& r, int area);

// Writes text left-justified into a field of the record, cut to the field's width.
void Put(std::string& record, std::int32_t offset, std::int32_t width, std::string_view text);

// Writes one file of fixed-length records in large sequential pieces, counting what it
// wrote into the result (and the first failure).
class TableWriter {
 public:
  TableWriter(platform::FileSystem& fs, std::string path, std::int32_t length, int records,
              SampleResult& result);

  void Add(const std::string& record);
  void Finish();

 private:
  void Drain();

  std::string path_;
  SampleResult& result_;
  FileHandle file_;
  std::string buffer_;
  bool ok_;
};

}  // namespace livrana::sample
