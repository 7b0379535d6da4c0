// The current conversion written the way a straightforward program would: every field is
// read and written with its own seek through the C runtime (fseek, fgets, fprintf), and
// every positioning first finds the end of the file. Kept for the benchmark only, as the
// measure of what the converter's own record layer saves.
//
//   livrana-literal-baseline FOLDER
//
// Right only on data without cut-short records, line feeds or zero bytes in fields, and
// without company codes that cannot name a folder.
#include <strings.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

// 0 when the file is now at pos and pos lies inside the file, 1 otherwise.
int SeekInside(FILE* f, long pos) {
  if (std::fseek(f, 0, SEEK_END) != 0) return 1;
  long size = std::ftell(f);
  if (size < 0 || pos >= size) return 1;
  return std::fseek(f, pos, SEEK_SET) != 0 ? 1 : 0;
}

char* ReadField(FILE* f, char* buf, int n) { return std::fgets(buf, n + 1, f); }

void TrimRight(char* text) {
  std::size_t n = std::strlen(text);
  while (n > 0 && text[n - 1] == ' ') text[--n] = '\0';
}

// Field 0 of record n of the register, trimmed; 0 when nothing was read.
int CompanyCode(FILE* reg, long n, char* code) {
  code[0] = '\0';
  if (SeekInside(reg, n * 1000) != 0 || ReadField(reg, code, 11) == nullptr) {
    code[0] = '\0';
    return 0;
  }
  TrimRight(code);
  return 1;
}

int IsDeleted(FILE* reg, long n) {
  if (SeekInside(reg, n * 1000 + 999) != 0) return 0;
  return std::fgetc(reg) == '+';
}

// A dialog would show the text; the benchmark keeps only its formatting.
volatile char g_shown;
void ShowStatus(const char* text) { g_shown = text[0]; }

void Invoices() {
  FILE* reg = std::fopen("F00R0.DAT", "rb");
  if (reg == nullptr) return;
  int count = 0;
  char code[12], path[100], status[100], one[2], piece[21], old[10];
  for (long n = 0; CompanyCode(reg, n, code) != 0; ++n) {
    if (IsDeleted(reg, n)) continue;
    std::snprintf(status, sizeof status, "Empresa %ld (%s)", n, code);
    ShowStatus(status);
    for (int year = 1990; year <= 2018; ++year) {
      std::snprintf(path, sizeof path, "R00/%s/L50A%04d.DAT", code, year);
      FILE* f = std::fopen(path, "rb+");
      if (f == nullptr) continue;
      long k = 0;
      if (ReadField(f, one, 1) != nullptr) {
        for (;;) {
          if (one[0] == '0' && SeekInside(f, k * 400 + 42) == 0 &&
              ReadField(f, piece, 20) != nullptr && std::strlen(piece) > 10 && piece[9] == ' ' &&
              piece[10] != ' ') {
            old[0] = '\0';
            if (SeekInside(f, k * 400 + 80) == 0) ReadField(f, old, 9);
            char* moved = piece + 10;
            moved[9] = '\0';  // cut to 9 characters
            if (SeekInside(f, k * 400 + 80) == 0) std::fprintf(f, "%-9s", moved);
            if (SeekInside(f, k * 400 + 127) == 0) std::fprintf(f, "%-11s", old);
            if (SeekInside(f, k * 400 + 52) == 0) std::fprintf(f, "%-10s", "");
            ++count;
            std::snprintf(status, sizeof status, "Empresa %ld (%s) - NF %d", n, code, count);
            ShowStatus(status);
          }
          ++k;
          if (SeekInside(f, k * 400) != 0 || ReadField(f, one, 1) == nullptr) break;
        }
      }
      std::fclose(f);
    }
  }
  std::fclose(reg);
  std::printf("NF convertidas: %d\n", count);
}

void Phones() {
  if (access("FTEL1.DAT", F_OK) == 0) return;
  FILE* tel = std::fopen("FTEL1.DAT", "ab");
  if (tel == nullptr) return;
  struct Table {
    int kind;
    const char* file;
    long length;
  };
  static const Table kTables[] = {{0, "F00R0.DAT", 1000},
                                  {1, "F01R0.DAT", 814},
                                  {2, "F02R1.DAT", 1000},
                                  {8, "F08R1.DAT", 1000}};
  char code[11], t1[42], t2[24];
  for (const Table& table : kTables) {
    FILE* f = std::fopen(table.file, "rb+");
    if (f == nullptr) continue;
    const long w = table.length;
    long n = 0;
    if (ReadField(f, code, 10) != nullptr) {
      for (;;) {
        if (SeekInside(f, n * w + 290) == 0) {
          t1[0] = t2[0] = '\0';
          ReadField(f, t1, 41);
          ReadField(f, t2, 23);
          TrimRight(t1);
          TrimRight(t2);
          long l1 = static_cast<long>(std::strlen(t1));
          long l2 = static_cast<long>(std::strlen(t2));
          if (strncasecmp(t1, t2, static_cast<std::size_t>(l2)) == 0) {
            t2[0] = '\0';
            l2 = 0;
          }
          int merged = 0;
          if (l1 > 37) {
            if (SeekInside(f, n * w + 327) == 0) std::fprintf(f, "%-4s", "");
            std::fprintf(tel, "%02d01%d%-10s%-23s\r\n", table.kind, 0, code, t1 + 37);
          }
          if (l2 > 0 && l1 + l2 + 3 <= 37) {
            if (SeekInside(f, n * w + 290 + l1) == 0) std::fprintf(f, " / %s", t2);
            merged = 1;
          }
          if (l2 > 0) {
            if (SeekInside(f, n * w + 331) == 0) std::fprintf(f, "%-23s", "");
            std::fprintf(tel, "%02d02%d%-10s%-23s\r\n", table.kind, merged, code, t2);
          }
        }
        ++n;
        if (SeekInside(f, n * w) != 0 || ReadField(f, code, 10) == nullptr) break;
      }
    }
    std::fclose(f);
  }
  std::fclose(tel);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || chdir(argv[1]) != 0) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  Invoices();
  Phones();
  return 0;
}
