// Path and name rules shared by every file-system implementation.
#include "platform/cp1252.h"
#include "platform/file_system.h"

namespace livrana::platform {

std::vector<std::string_view> SplitPath(std::string_view path) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '\\' || path[i] == '/') {
      if (i > start) parts.push_back(path.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

std::string FoldedPath(std::string_view path) {
  std::string key;
  for (auto part : SplitPath(path)) {
    key += '\\';
    for (char c : part) key += static_cast<char>(FoldCase(static_cast<unsigned char>(c)));
  }
  return key;
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (!path.empty() && !IsSeparator(path.back())) path += '\\';
  path += name;
  return path;
}

bool IsReservedDeviceName(std::string_view name) {
  std::string base(name.substr(0, name.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) c = static_cast<char>(FoldCase(static_cast<unsigned char>(c)));
  static constexpr std::string_view kDevices[] = {"CON",    "PRN",     "AUX",   "NUL",
                                                  "CONIN$", "CONOUT$", "CLOCK$"};
  for (auto device : kDevices) {
    if (base == device) return true;
  }
  if (base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT"))) {
    auto c = static_cast<unsigned char>(base[3]);
    return (c >= '1' && c <= '9') || c == 0xB9 || c == 0xB2 || c == 0xB3;
  }
  return false;
}

bool SplitPattern(std::string_view pattern, PatternParts& parts) {
  auto components = SplitPath(pattern);
  if (components.empty()) return false;
  parts.name = components.back();
  parts.folder = pattern.substr(0, static_cast<std::size_t>(parts.name.data() - pattern.data()));
  return true;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(static_cast<unsigned char>(a[i])) != FoldCase(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

bool MatchPattern(std::string_view pattern, std::string_view name) {
  // Iterative wildcard match with one backtrack point for the last `*`.
  std::size_t p = 0, n = 0, star = std::string_view::npos, mark = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || FoldCase(static_cast<unsigned char>(pattern[p])) ==
                                         FoldCase(static_cast<unsigned char>(name[n])))) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace livrana::platform
