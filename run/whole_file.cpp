#include "run/whole_file.h"

#include "records/record_file.h"

namespace livrana {

std::optional<std::string> ReadWholeFile(platform::FileSystem& fs, std::string_view path,
                                         Outcome* why) {
  Outcome failure;
  FileHandle file = OpenRead(fs, path, FileMode::kBinary, &failure);
  if (!file) {
    if (why != nullptr) *why = std::move(failure);
    return std::nullopt;
  }
  std::string text(static_cast<std::size_t>(file->Size()), '\0');
  text.resize(file->Read(text.data(), text.size()));
  if (Outcome read = CloseFile(file); !read) {
    if (why != nullptr) *why = std::move(read);
    return std::nullopt;
  }
  return text;
}

Outcome ReplaceWholeFile(platform::FileSystem& fs, std::string_view path, std::string_view work,
                         std::string_view text) {
  if (fs.Attributes(work)) {
    if (Outcome removed = fs.Remove(work); !removed) return removed;
  }
  Outcome why;
  FileHandle out = OpenCreate(fs, work, FileMode::kBinary, &why);
  if (!out) return why;
  out->Write(text);
  Outcome written = out->Sync();
  written.Also(CloseFile(out));
  MakeWritable(fs, path);
  if (written) written = fs.Replace(work, path);
  if (!written) (void)fs.Remove(work);
  return written;
}

}  // namespace livrana
