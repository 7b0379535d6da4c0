// A sample data folder for demonstrations, tests and benchmarks: a company register with
// live and deleted companies, the yearly invoice files of each company and the tables with
// telephone fields, filled with real-looking Brazilian data. The same options give the same
// bytes on every host (the generator uses its own random numbers).
#pragma once

#include <cstdint>
#include <string>

#include "platform/file_system.h"

namespace livrana {

struct SampleOptions {
  int companies = 5;  // live companies of the register; two deleted ones are added
  int records = 40;   // invoice records per company and year
  std::uint64_t seed = 1;
  int first_year = 1990;  // the years of the invoice files
  int last_year = 2018;
  int phone_records = 30;  // records of each of F01R0.DAT, F02R1.DAT and F08R1.DAT
  // As real folders are: a few years missing, a company without invoices, and invoice
  // files of the years just outside first_year to last_year. Off, every company has a file
  // for every year and nothing else (for benchmarks of a known size).
  bool gaps = true;
  bool lower_case_names = false;  // "f00r0.dat", "r00\0001\l50a1995.dat"
};

// The limits the command line accepts.
inline constexpr int kSampleMaxCompanies = 9000;
inline constexpr int kSampleMaxRecords = 1000000;

struct SampleResult {
  bool ok = true;
  std::string error;        // why the folder was not written (Windows-1252, Portuguese)
  std::int64_t files = 0;   // files written
  std::uint64_t bytes = 0;  // bytes written
};

// Writes the sample into the data folder of fs, which must be empty: a folder that already
// holds anything is left alone (the sample would overwrite a real register).
SampleResult WriteSampleFolder(platform::FileSystem& fs, const SampleOptions& options);

}  // namespace livrana
