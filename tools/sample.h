// A sample data folder for demonstrations, tests and benchmarks: a company register with
// live and deleted companies, the yearly invoice files of each company and the tables with
// telephone fields, filled with real-looking Brazilian data. The same options give the same
// bytes on every host (the generator uses its own random numbers).
//
// The folder can also be written in any older layout: as it is just before a step of the
// library of conversions, that is the oldest folder (tools/oldest_sample.h) taken through
// every earlier step.
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

  // The layout: empty for the current one, the folder that step 4.34 converts; otherwise
  // the name of a step of the library ("split-ledgers", see LibrarySteps()): the folder as
  // it is just before that step ("import-old-files" gives the oldest folder itself). In
  // the older layouts records counts the records of each ledger table of a company, their
  // dates spread over first_year to last_year, phone_records the records of the customer,
  // supplier and phone tables, and lower_case_names is not used.
  std::string before;
  // When above 0, records is chosen so that the folder holds at least about this many
  // bytes; records itself is then not used.
  std::uint64_t min_bytes = 0;
};

// The limits the command line accepts.
inline constexpr int kSampleMaxCompanies = 9000;
inline constexpr int kSampleMaxRecords = 1000000;
inline constexpr int kSampleMaxMib = 1 << 20;  // a tebibyte

struct SampleResult {
  bool ok = true;
  std::string error;        // why the folder was not written (Windows-1252, Portuguese)
  std::int64_t files = 0;   // files the folder holds
  std::uint64_t bytes = 0;  // bytes the folder holds
  int records = 0;          // the records used (with min_bytes, those chosen)
};

// Writes the sample into the data folder of fs, which must be empty: a folder that already
// holds anything is left alone (the sample would overwrite a real register). For an older
// layout the steps work over fs too; their safety copies go to a scratch folder inside the
// data folder, removed at the end, so that nothing is left below the temporary folder.
SampleResult WriteSampleFolder(platform::FileSystem& fs, const SampleOptions& options);

}  // namespace livrana
