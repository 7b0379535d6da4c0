// Record files: fixed-length text records, record n at byte n * W, no header and no line
// breaks. The converter reads and writes them through its own buffered handle, so that it
// behaves the same on Windows and on Linux and so that reading a record field by field
// costs no system call.
//
// The handle keeps one block of the file in memory. Blocks are aligned to the record
// length when the caller gives it, so that data written back always holds whole records:
// a process that dies never leaves half a record behind.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace livrana {

enum class FileMode {
  kBinary,  // bytes as stored
  kText,    // as the Windows C runtime: CR LF reads as LF, Ctrl-Z ends the file, LF writes
            // as CR LF; positions are byte positions
};

class RecordFile {
 public:
  // The largest block: a file of up to 1 MiB is read in one request and written back in
  // one, as a file server takes them.
  static constexpr std::size_t kBlockBytes = 1024 * 1024;

  // path names the file in the outcomes of its failures.
  RecordFile(std::unique_ptr<platform::File> file, std::string_view path, bool writable,
             bool append, FileMode mode);
  ~RecordFile();  // writes back what is pending and closes
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;

  // Aligns the blocks to whole records of length w.
  void SetRecordLength(std::uint32_t w);
  // Keeps the blocks to at most bytes (at least one record): for a file among many written
  // at once, so that the memory they hold together stays small.
  void SetBlockBytes(std::size_t bytes);
  // Before this file writes anything back, `first` writes back what it holds: what a step
  // records elsewhere reaches the disk before it leaves this file.
  void FlushFirst(RecordFile* first) { flush_first_ = first; }

  // Moves to a byte position (past the end too, as fseek does).
  void Seek(std::uint64_t pos) { pos_ = pos; }
  std::uint64_t Tell() const { return pos_; }
  // The size in bytes, data not yet written back included.
  std::uint64_t Size() const;

  // Reads up to n bytes at the position and moves past them: in text mode CR LF gives LF
  // and a Ctrl-Z byte ends the file. Gives the count delivered.
  std::size_t Read(char* buf, std::size_t n);
  // Reads at most n characters, stopping after a line feed (the fgets contract). Gives the
  // count delivered into out (replacing its contents).
  std::size_t ReadLine(std::string& out, std::size_t n);
  // Writes at the position (at the end of the file when opened for appending) and moves
  // past what was written; in text mode each LF is written as CR LF. False once the file
  // has failed: nothing more is written.
  bool Write(std::string_view data);

  // Direct access to the n bytes at pos, for a caller that works on whole records in
  // place (binary mode only): a view into the block, valid until the next call on the file.
  // Empty when the bytes do not all lie in the file and in one block (blocks hold whole
  // records once SetRecordLength was given); the caller then reads and writes as usual.
  std::string_view View(std::uint64_t pos, std::size_t n);
  // The same for changing the bytes in place: they are written back as Write's would be.
  // Null when View would be empty or the file cannot be written.
  char* Modify(std::uint64_t pos, std::size_t n);

  // Writes back what is pending. When that fails the pending data is dropped (the file
  // keeps what it held before) and the file is marked failed.
  Outcome Flush();
  // Cuts the file to size bytes, dropping what is pending beyond it.
  Outcome Truncate(std::uint64_t size);
  // Makes what was written back durable on the disk (before a rename that publishes it).
  Outcome Sync();
  // Writes back and closes; the first failure of the file's life, if any.
  Outcome Close();
  // A read or a write-back has failed (a full disk, a refused write, a device error); later
  // writes are refused.
  bool Failed() const { return !failure_.ok(); }
  // The first failure: operation, this file and the system's cause.
  const Outcome& failure() const { return failure_; }
  bool writable() const { return writable_; }
  const std::string& path() const { return path_; }
  // The opening had to clear the file's read-only attribute to write it.
  bool cleared_read_only() const { return cleared_read_only_; }
  void set_cleared_read_only() { cleared_read_only_ = true; }

 private:
  bool Load(std::uint64_t pos);
  // Makes the block buffer hold at least n bytes (at most the capacity), keeping its data.
  void Reserve(std::size_t n);
  int PeekByte(std::uint64_t pos);
  bool WriteRaw(std::string_view data);
  void Fail(Outcome failure);
  // Gives the block the capacity of whole records of record_length_ within block_bytes_.
  void Resize();

  std::unique_ptr<platform::File> file_;
  std::string path_;
  bool writable_;
  bool append_;
  FileMode mode_;
  Outcome failure_;
  bool closed_ = false;
  bool cleared_read_only_ = false;
  RecordFile* flush_first_ = nullptr;

  std::uint64_t pos_ = 0;
  std::uint64_t disk_size_ = 0;
  // Allocated when first needed and no larger than the file needs, so that opening one of
  // many small files costs no large allocation; never filled before it is read into.
  std::unique_ptr<char[]> block_;
  std::size_t allocated_ = 0;
  std::size_t block_bytes_ = kBlockBytes;
  std::uint32_t record_length_ = 0;  // 0: not given
  std::size_t capacity_;
  std::uint64_t block_start_ = 0;
  std::size_t block_len_ = 0;  // valid bytes in block_
  bool loaded_ = false;
  std::size_t dirty_lo_ = 0, dirty_hi_ = 0;  // pending range within the block
};

using FileHandle = std::unique_ptr<RecordFile>;

// When the file cannot be written (it is missing, or it has the read-only attribute),
// clears its read-only attribute, leaving the other attributes; failures are ignored.
// True when the attribute was there and has been cleared.
bool MakeWritable(platform::FileSystem& fs, std::string_view path);

// The five openings. The last four make the file writable first, except in text mode,
// where files are opened as they stand. Each gives null when the opening fails, and then
// tells why in why when it is given.
FileHandle OpenRead(platform::FileSystem& fs, std::string_view path,
                    FileMode mode = FileMode::kBinary, Outcome* why = nullptr);
FileHandle OpenUpdate(platform::FileSystem& fs, std::string_view path,
                      FileMode mode = FileMode::kBinary, Outcome* why = nullptr);
FileHandle OpenCreate(platform::FileSystem& fs, std::string_view path,
                      FileMode mode = FileMode::kBinary, Outcome* why = nullptr);
FileHandle OpenCreateUpdate(platform::FileSystem& fs, std::string_view path,
                            FileMode mode = FileMode::kBinary, Outcome* why = nullptr);
FileHandle OpenAppend(platform::FileSystem& fs, std::string_view path,
                      FileMode mode = FileMode::kBinary, Outcome* why = nullptr);

// Closes the file (a null handle is ignored): done when everything it read and wrote went
// well, otherwise its first failure.
Outcome CloseFile(FileHandle& file);

// The byte position n * w + offset of a field of record n; false when it lies beyond the
// 64-bit range (such a record lies beyond the end of any file).
bool RecordPosition(std::int64_t n, std::int64_t w, std::int64_t offset, std::int64_t& pos);

// Positions at pos when that byte lies inside the file; false when pos is not smaller than
// the file's size (or the file is null).
bool SeekInside(RecordFile* file, std::int64_t pos);

// Reads at most n characters from the position, stopping after a line feed or at the end
// of the file. False (and out empty) when not a single character could be read.
bool ReadField(RecordFile* file, std::string& out, std::size_t n);

// Whether record n of length w has the deletion mark "+" in its last byte. False for a
// null file and for a record beyond the end. Leaves the position unspecified.
bool IsDeleted(RecordFile* file, std::int64_t n, std::int64_t w);

// Removes the trailing spaces (only the space character) in place.
std::string& TrimRight(std::string& text);
// Ends the text at position n, so that at most n characters remain.
std::string& CutText(std::string& text, std::size_t n);

// Reads field k of record n of a record file of length w, laid out by widths: from file
// when it is not null (left open, positioned after what was read), else from the file at
// path, opened and closed for this read. out receives the value (trailing spaces removed)
// or the empty text. Gives true when the field was read. (The core shows no field in a
// window, so no dialog control is passed.)
bool GetField(platform::FileSystem& fs, RecordFile* file, std::int64_t n, std::string& out, int k,
              std::string_view path, std::int32_t w, std::span<const std::int32_t> widths);

}  // namespace livrana
