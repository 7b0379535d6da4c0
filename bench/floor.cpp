// The least program that does the current conversion: whole records are read in blocks of
// about 1 MiB, converted in memory, and the blocks that changed are written back. No
// journal, no status texts, no checks, no case-insensitive names. Kept for the benchmark
// only, as the speed the converter is measured against.
//
//   livrana-floor FOLDER [phones]
//
// Without "phones" only the invoice phase is done.
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kBlock = 1 << 20;

// Calls convert(record, length) for every whole record of the file, writing back each
// block in which it gave true.
template <typename Convert>
void EachRecord(const char* path, std::size_t w, Convert convert) {
  int fd = open(path, O_RDWR);
  if (fd < 0) return;
  const std::size_t block = kBlock / w * w;
  static std::vector<char> buf;
  buf.resize(block);
  for (off_t at = 0;;) {
    ssize_t got = pread(fd, buf.data(), block, at);
    if (got <= 0) break;
    const auto len = static_cast<std::size_t>(got);
    bool changed = false;
    for (std::size_t r = 0; r + w <= len; r += w) changed = convert(buf.data() + r) || changed;
    if (changed && pwrite(fd, buf.data(), len, at) != got) break;
    at += got;
  }
  close(fd);
}

long Invoices() {
  int fd = open("F00R0.DAT", O_RDONLY);
  if (fd < 0) return 0;
  std::string reg;
  char buf[1 << 16];
  for (ssize_t got; (got = read(fd, buf, sizeof buf)) > 0;)
    reg.append(buf, static_cast<std::size_t>(got));
  close(fd);
  long count = 0;
  for (std::size_t n = 0; n + 1000 <= reg.size(); n += 1000) {
    if (reg[n + 999] == '+') continue;
    std::string code = reg.substr(n, 11);
    code.erase(code.find_last_not_of(' ') + 1);
    for (int year = 1990; year <= 2018; ++year) {
      char path[64];
      std::snprintf(path, sizeof path, "R00/%s/L50A%04d.DAT", code.c_str(), year);
      EachRecord(path, 400, [&](char* rec) {
        if (rec[0] != '0' || rec[51] != ' ' || rec[52] == ' ') return false;
        char old[9];
        std::memcpy(old, rec + 80, 9);
        std::memcpy(rec + 80, rec + 52, 9);
        std::memcpy(rec + 127, old, 9);
        std::memset(rec + 136, ' ', 2);
        std::memset(rec + 52, ' ', 10);
        ++count;
        return true;
      });
    }
  }
  return count;
}

std::size_t Trimmed(const char* text, std::size_t n) {
  while (n > 0 && text[n - 1] == ' ') --n;
  return n;
}

void Phones() {
  if (access("FTEL1.DAT", F_OK) == 0) return;
  std::string lines;
  struct Table {
    int kind;
    const char* file;
    std::size_t length;
  };
  static const Table kTables[] = {{0, "F00R0.DAT", 1000},
                                  {1, "F01R0.DAT", 814},
                                  {2, "F02R1.DAT", 1000},
                                  {8, "F08R1.DAT", 1000}};
  for (const Table& table : kTables) {
    EachRecord(table.file, table.length, [&](char* rec) {
      char* t1 = rec + 290;
      char* t2 = rec + 331;
      std::size_t l1 = Trimmed(t1, 41), l2 = Trimmed(t2, 23);
      if (l2 <= l1 && strncasecmp(t1, t2, l2) == 0) l2 = 0;
      bool changed = false;
      int merged = 0;
      char line[48];
      if (l1 > 37) {
        std::snprintf(line, sizeof line, "%02d01%d%-10.10s%-23.*s\r\n", table.kind, 0, rec,
                      static_cast<int>(l1 - 37), t1 + 37);
        lines += line;
        std::memset(t1 + 37, ' ', 4);
        changed = true;
      }
      if (l2 > 0) {
        std::snprintf(line, sizeof line, "%.*s", static_cast<int>(l2), t2);
        std::string second(line);
        if (l1 + l2 + 3 <= 37) {
          std::memcpy(t1 + l1, " / ", 3);
          std::memcpy(t1 + l1 + 3, second.data(), l2);
          merged = 1;
        }
        std::snprintf(line, sizeof line, "%02d02%d%-10.10s%-23s\r\n", table.kind, merged, rec,
                      second.c_str());
        lines += line;
        std::memset(t2, ' ', 23);
        changed = true;
      }
      return changed;
    });
  }
  int fd = open("FTEL1.DAT", O_WRONLY | O_CREAT | O_EXCL, 0666);
  if (fd < 0) return;
  if (write(fd, lines.data(), lines.size()) != static_cast<ssize_t>(lines.size()))
    std::perror("FTEL1.DAT");
  close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3 || chdir(argv[1]) != 0) {
    std::fprintf(stderr, "usage: %s FOLDER [phones]\n", argv[0]);
    return 2;
  }
  std::printf("NF convertidas: %ld\n", Invoices());
  if (argc == 3) Phones();
  return 0;
}
