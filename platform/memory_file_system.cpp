#include "platform/memory_file_system.h"

#include <algorithm>

namespace livrana::platform {

struct MemoryFileSystem::Node {
  std::string name;
  bool folder = false;
  std::uint32_t extra = 0;  // hidden and system bits
  bool read_only = false;
  bool busy = false;
  std::uint16_t fat_date = 0x5A21;  // 01/01/2025 12:00, the same for every entry
  std::uint16_t fat_time = 0x6000;
  std::shared_ptr<std::string> data = std::make_shared<std::string>();
  std::vector<std::unique_ptr<Node>> children;  // in creation order, as a directory lists

  Node* Child(std::string_view child) const {
    Node* folded = nullptr;
    for (const auto& c : children) {
      if (c->name == child) return c.get();
      if (folded == nullptr && SameName(c->name, child)) folded = c.get();
    }
    return folded;
  }
  std::unique_ptr<Node> Take(Node* child) {
    auto it = std::find_if(children.begin(), children.end(),
                           [&](const auto& c) { return c.get() == child; });
    std::unique_ptr<Node> taken = std::move(*it);
    children.erase(it);
    return taken;
  }
};

namespace {

class MemoryFile final : public File {
 public:
  MemoryFile(std::shared_ptr<std::string> data, bool writable)
      : data_(std::move(data)), writable_(writable) {}

  using File::ReadAt;
  std::int64_t ReadAt(std::uint64_t pos, char* buf, std::size_t n, Outcome& why) override {
    if (closed_) {
      why = Outcome::Failed(Operation::kRead, "", Cause::kOther);
      return -1;
    }
    if (pos >= data_->size()) return 0;
    auto at = static_cast<std::size_t>(pos);
    std::size_t count = std::min<std::size_t>(n, data_->size() - at);
    std::copy_n(data_->data() + at, count, buf);
    return static_cast<std::int64_t>(count);
  }
  Outcome WriteAt(std::uint64_t pos, const char* buf, std::size_t n) override {
    if (closed_ || !writable_) return Outcome::Failed(Operation::kWrite, "", Cause::kOther);
    if (pos + n > data_->max_size())
      return Outcome::Failed(Operation::kWrite, "", Cause::kDiskFull);
    auto at = static_cast<std::size_t>(pos);
    if (data_->size() < at + n) data_->resize(at + n, '\0');
    std::copy_n(buf, n, data_->data() + at);
    return {};
  }
  std::optional<std::uint64_t> Size() override {
    if (closed_) return std::nullopt;
    return data_->size();
  }
  Outcome Truncate(std::uint64_t size) override {
    if (closed_ || !writable_ || size > data_->max_size())
      return Outcome::Failed(Operation::kTruncate, "", Cause::kOther);
    data_->resize(static_cast<std::size_t>(size));
    return {};
  }
  Outcome Sync() override {
    return closed_ ? Outcome::Failed(Operation::kSync, "", Cause::kOther) : Outcome();
  }
  Outcome Close() override {
    closed_ = true;
    return {};
  }

 private:
  std::shared_ptr<std::string> data_;
  bool writable_;
  bool closed_ = false;
};

// The components of a path from the top of the tree: relative paths lie below "data".
std::vector<std::string> Components(std::string_view path) {
  std::vector<std::string> parts;
  if (path.size() >= 2 && path[1] == ':')
    path.remove_prefix(2);
  else if (!IsAbsolutePath(path))
    parts.push_back("data");
  for (auto part : SplitPath(path)) parts.emplace_back(part);
  return parts;
}

void Collect(const MemoryFileSystem::Node& node, const std::string& prefix,
             std::map<std::string, std::string>& out) {
  for (const auto& child : node.children) {
    std::string path = prefix + child->name;
    if (child->folder) {
      out[path + "\\"] = "";
      Collect(*child, path + "\\", out);
    } else {
      out[path] = *child->data;
    }
  }
}

}  // namespace

MemoryFileSystem::MemoryFileSystem() : top_(std::make_unique<Node>()) {
  top_->folder = true;
  (void)MakeFolder("/data");  // an empty tree: both are new
  (void)MakeFolder("/tmp");
}

MemoryFileSystem::~MemoryFileSystem() = default;

MemoryFileSystem::Node* MemoryFileSystem::Lookup(std::string_view path) const {
  Node* node = top_.get();
  for (const auto& part : Components(path)) {
    if (part == ".") continue;
    if (part == ".." || !node->folder) return nullptr;
    node = node->Child(part);
    if (node == nullptr) return nullptr;
  }
  return node;
}

MemoryFileSystem::Node* MemoryFileSystem::Parent(std::string_view path, std::string* leaf) const {
  auto parts = Components(path);
  if (parts.empty()) return nullptr;
  *leaf = parts.back();
  if (*leaf == "." || *leaf == "..") return nullptr;
  Node* node = top_.get();
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    if (parts[i] == ".." || parts[i] == ".") return nullptr;
    node = node->Child(parts[i]);
    if (node == nullptr || !node->folder) return nullptr;
  }
  return node;
}

std::unique_ptr<File> MemoryFileSystem::Open(std::string_view path, Access access, Outcome& why) {
  const bool writes = access != Access::kRead;
  const bool creates = access == Access::kCreate || access == Access::kOpenAlways;
  const Operation op = creates ? Operation::kCreate : Operation::kOpen;
  auto fail = [&](Cause cause) -> std::unique_ptr<File> {
    why = Outcome::Failed(op, path, cause);
    return nullptr;
  };
  Node* node = Lookup(path);
  if (node != nullptr && node->folder) return fail(Cause::kNotAFile);
  if (node == nullptr) {
    if (!creates) return fail(Cause::kNotFound);
    std::string leaf;
    Node* parent = Parent(path, &leaf);
    if (parent == nullptr) return fail(Cause::kNotFound);
    auto created = std::make_unique<Node>();
    created->name = leaf;
    node = created.get();
    parent->children.push_back(std::move(created));
  } else if (writes && node->read_only) {
    return fail(Cause::kReadOnly);
  }
  if (access == Access::kCreate) node->data->clear();
  return std::make_unique<MemoryFile>(node->data, writes);
}

std::optional<std::uint32_t> MemoryFileSystem::Attributes(std::string_view path) {
  Node* node = Lookup(path);
  if (node == nullptr) return std::nullopt;
  std::uint32_t attributes = node->extra;
  if (node->folder) attributes |= kDirectory;
  if (node->read_only) attributes |= kReadOnly;
  if (attributes == 0) attributes = kArchive;
  return attributes;
}

Outcome MemoryFileSystem::SetReadOnly(std::string_view path, bool read_only) {
  Node* node = Lookup(path);
  if (node == nullptr) return Outcome::Failed(Operation::kAttributes, path, Cause::kNotFound);
  node->read_only = read_only;
  return {};
}

Outcome MemoryFileSystem::Rename(std::string_view from, std::string_view to) {
  auto fail = [&](Cause cause) { return Outcome::Failed(Operation::kRename, from, cause); };
  Node* node = Lookup(from);
  std::string from_leaf, leaf;
  Node* from_parent = Parent(from, &from_leaf);
  Node* parent = Parent(to, &leaf);
  if (node == nullptr || from_parent == nullptr || parent == nullptr) return fail(Cause::kNotFound);
  Node* existing = parent->Child(leaf);
  if (existing != nullptr && existing != node) return fail(Cause::kExists);
  // A folder never moves into itself.
  for (Node* up = parent; up != nullptr;) {
    if (up == node) return fail(Cause::kBadName);
    Node* next = nullptr;
    std::vector<Node*> stack{top_.get()};
    // Parent links are not kept; find up's parent by a walk (test trees are small).
    while (!stack.empty() && next == nullptr) {
      Node* n = stack.back();
      stack.pop_back();
      for (const auto& c : n->children) {
        if (c.get() == up) next = n;
        if (c->folder) stack.push_back(c.get());
      }
    }
    up = next;
  }
  std::unique_ptr<Node> moved = from_parent->Take(node);
  moved->name = leaf;
  parent->children.push_back(std::move(moved));
  return {};
}

Outcome MemoryFileSystem::Replace(std::string_view from, std::string_view to) {
  auto fail = [&](Cause cause) { return Outcome::Failed(Operation::kRename, from, cause); };
  Node* node = Lookup(from);
  if (node == nullptr) return fail(Cause::kNotFound);
  if (node->folder) return fail(Cause::kNotAFile);
  Node* existing = Lookup(to);
  if (existing != nullptr && existing != node) {
    if (existing->folder) return fail(Cause::kNotAFile);
    if (existing->read_only) return fail(Cause::kReadOnly);
    std::string leaf;
    Parent(to, &leaf)->Take(existing);
  }
  return Rename(from, to);
}

Outcome MemoryFileSystem::Copy(std::string_view from, std::string_view to, bool overwrite) {
  auto fail = [&](std::string_view file, Cause cause) {
    return Outcome::Failed(Operation::kCopy, file, cause);
  };
  Node* src = Lookup(from);
  if (src == nullptr) return fail(from, Cause::kNotFound);
  if (src->folder) return fail(from, Cause::kNotAFile);
  Node* dst = Lookup(to);
  if (dst != nullptr) {
    if (!overwrite || dst == src) return fail(to, Cause::kExists);
    if (dst->folder) return fail(to, Cause::kNotAFile);
    if (dst->read_only) return fail(to, Cause::kReadOnly);
    *dst->data = *src->data;
    dst->fat_date = src->fat_date;
    dst->fat_time = src->fat_time;
    return {};
  }
  std::string leaf;
  Node* parent = Parent(to, &leaf);
  if (parent == nullptr) return fail(to, Cause::kNotFound);
  auto created = std::make_unique<Node>();
  created->name = leaf;
  *created->data = *src->data;
  created->fat_date = src->fat_date;
  created->fat_time = src->fat_time;
  parent->children.push_back(std::move(created));
  return {};
}

Outcome MemoryFileSystem::Remove(std::string_view path) {
  auto fail = [&](Cause cause) { return Outcome::Failed(Operation::kRemove, path, cause); };
  Node* node = Lookup(path);
  std::string leaf;
  Node* parent = Parent(path, &leaf);
  if (node == nullptr || parent == nullptr) return fail(Cause::kNotFound);
  if (node->folder) return fail(Cause::kNotAFile);
  if (node->read_only) return fail(Cause::kReadOnly);
  parent->Take(node);
  return {};
}

Outcome MemoryFileSystem::MakeFolder(std::string_view path) {
  std::string leaf;
  Node* parent = Parent(path, &leaf);
  if (parent == nullptr) return Outcome::Failed(Operation::kMakeFolder, path, Cause::kNotFound);
  if (parent->Child(leaf) != nullptr)
    return Outcome::Failed(Operation::kMakeFolder, path, Cause::kExists);
  auto created = std::make_unique<Node>();
  created->name = leaf;
  created->folder = true;
  parent->children.push_back(std::move(created));
  return {};
}

Outcome MemoryFileSystem::RemoveFolder(std::string_view path) {
  auto fail = [&](Cause cause) { return Outcome::Failed(Operation::kRemoveFolder, path, cause); };
  Node* node = Lookup(path);
  std::string leaf;
  Node* parent = Parent(path, &leaf);
  if (node == nullptr || parent == nullptr) return fail(Cause::kNotFound);
  if (!node->folder) return fail(Cause::kNotAFile);
  if (!node->children.empty()) return fail(Cause::kNotEmpty);
  parent->Take(node);
  return {};
}

std::vector<DirEntry> MemoryFileSystem::Find(std::string_view pattern, std::uint32_t mask,
                                             Outcome& /*why*/) {
  std::vector<DirEntry> found;
  PatternParts parts;
  if (!SplitPattern(pattern, parts)) return found;
  const std::string folder(parts.folder);
  Node* dir = Lookup(folder);
  if (dir == nullptr || !dir->folder) return found;
  const bool names_only = (mask & kNamesOnly) != 0;
  if (names_only) mask |= kHidden | kSystem;
  for (const auto& child : dir->children) {
    if (!MatchPattern(parts.name, child->name)) continue;
    DirEntry entry;
    entry.name = child->name;
    entry.attributes = *Attributes(folder + child->name);
    if ((entry.attributes & (kHidden | kSystem | kDirectory) & ~mask) != 0) continue;
    if (names_only) {
      entry.attributes &= kDirectory | kReparsePoint;
    } else {
      entry.size = child->folder ? 0 : child->data->size();
      entry.fat_date = child->fat_date;
      entry.fat_time = child->fat_time;
    }
    found.push_back(std::move(entry));
  }
  return found;
}

bool MemoryFileSystem::Busy(std::string_view path) {
  Node* node = Lookup(path);
  return node != nullptr && node->busy;
}

void MemoryFileSystem::SetBusy(std::string_view path, bool busy) {
  if (Node* node = Lookup(path)) node->busy = busy;
}

void MemoryFileSystem::SetAttributes(std::string_view path, std::uint32_t extra) {
  if (Node* node = Lookup(path)) node->extra = extra & (kHidden | kSystem);
}

std::map<std::string, std::string> MemoryFileSystem::Snapshot() const {
  std::map<std::string, std::string> out;
  if (Node* data = Lookup("")) Collect(*data, "", out);
  return out;
}

std::map<std::string, std::string> MemoryFileSystem::SnapshotOutside() const {
  std::map<std::string, std::string> out;
  for (const auto& child : top_->children) {
    if (child->name == "data") continue;
    std::string path = "/" + child->name;
    if (child->folder) {
      out[path + "\\"] = "";
      Collect(*child, path + "\\", out);
    } else {
      out[path] = *child->data;
    }
  }
  return out;
}

}  // namespace livrana::platform
