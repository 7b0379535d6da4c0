// Writes a sample data folder with the sizes the benchmark asks for:
//
//   livrana-bench-sample FOLDER COMPANIES RECORDS PHONE_RECORDS [gaps]
//
// Without "gaps" every company has a file for every year from 1990 to 2018 and nothing else,
// so that the size of the folder is known in advance.
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/file_system.h"
#include "tools/sample.h"

namespace {

bool Number(const char* text, int& out) {
  std::string_view s(text);
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  return ec == std::errc() && ptr == s.data() + s.size() && out >= 0;
}

}  // namespace

int main(int argc, char** argv) {
  livrana::SampleOptions options;
  if (argc < 5 || argc > 6 || !Number(argv[2], options.companies) ||
      !Number(argv[3], options.records) || !Number(argv[4], options.phone_records) ||
      (argc == 6 && std::string_view(argv[5]) != "gaps")) {
    std::fprintf(stderr, "usage: %s FOLDER COMPANIES RECORDS PHONE_RECORDS [gaps]\n", argv[0]);
    return 2;
  }
  options.gaps = argc == 6;
  std::error_code ec;
  std::filesystem::create_directories(argv[1], ec);
  auto fs = livrana::platform::OpenHostFileSystem(argv[1]);
  livrana::SampleResult result = livrana::WriteSampleFolder(*fs, options);
  if (!result.ok) {
    std::fprintf(stderr, "%s: the sample was not written\n", argv[1]);
    return 1;
  }
  std::printf("%lld files, %llu bytes\n", static_cast<long long>(result.files),
              static_cast<unsigned long long>(result.bytes));
  return 0;
}
