#include "tests/power_loss_disk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <vector>

#include "platform/unique_fd.h"

namespace testing_support {
namespace {

std::string ReadAll(int fd) {
  std::string content;
  char buf[1 << 16];
  for (off_t at = 0;;) {
    const ssize_t got = ::pread(fd, buf, sizeof buf, at);
    if (got <= 0) return content;
    content.append(buf, size_t(got));
    at += got;
  }
}

std::string ReadPath(const std::string& path) {
  const platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  return fd.Valid() ? ReadAll(fd.Get()) : std::string();
}

void WritePath(const std::string& path, const std::string& content) {
  const platform::UniqueFd fd(
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666));
  if (!fd.Valid()) return;
  for (size_t done = 0; done < content.size();) {
    const ssize_t put = ::write(fd.Get(), content.data() + done, content.size() - done);
    if (put <= 0) break;
    done += size_t(put);
  }
}

std::optional<std::pair<dev_t, ino_t>> IdOf(const std::string& path, bool follow) {
  struct stat st;
  if ((follow ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0) return std::nullopt;
  return std::make_pair(st.st_dev, st.st_ino);
}

std::vector<std::string> NamesIn(const std::string& folder) {
  std::vector<std::string> names;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
  if (!dir) return names;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  return names;
}

std::string Absolute(const std::string& path) {
  std::error_code error;
  const auto absolute = std::filesystem::absolute(path.empty() ? "." : path, error);
  return error ? path : absolute.lexically_normal().string();
}

// Whether `absolute` is a test's scratch folder (made by ScratchDir) or lies
// inside one: the only folders the model may ever restore.
bool InsideTestScratch(const std::string& absolute) {
  return absolute.find("/kmlcompat-test-") != std::string::npos;
}

}  // namespace

void PowerLossDisk::Start() {
  folders_.clear();
  live_.clear();
  tracking_ = true;
}

void PowerLossDisk::Stop() {
  folders_.clear();
  live_.clear();
  tracking_ = false;
}

PowerLossDisk::NodePtr PowerLossDisk::NodeAt(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return nullptr;
  NodePtr& node = live_[{st.st_dev, st.st_ino}];
  if (node) return node;
  node = std::make_shared<Node>();
  if (S_ISDIR(st.st_mode)) {
    node->kind = Node::kFolder;
  } else if (S_ISLNK(st.st_mode)) {
    node->kind = Node::kLink;
    std::vector<char> target(size_t(st.st_size) + 1);
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n > 0) node->durable.assign(target.data(), size_t(n));
  } else if (S_ISREG(st.st_mode)) {
    node->durable = ReadPath(path);
  }
  return node;
}

std::map<std::string, PowerLossDisk::NodePtr> PowerLossDisk::Listing(const std::string& folder) {
  std::map<std::string, NodePtr> names;
  for (const std::string& name : NamesIn(folder))
    if (NodePtr node = NodeAt(folder + "/" + name)) names[name] = node;
  return names;
}

void PowerLossDisk::Track(const std::string& path) {
  const auto id = IdOf(path, true);
  if (!id || folders_.count(*id) != 0) return;
  const std::string absolute = Absolute(path);
  if (!InsideTestScratch(absolute)) return;
  NodePtr& self = live_[*id];
  if (!self) self = std::make_shared<Node>(Node{Node::kFolder, {}});
  folders_[*id] = Folder{absolute, self, Listing(absolute)};
}

void PowerLossDisk::BeforeFolderChange(const std::string& folder) {
  if (tracking_) Track(folder);
}

PowerLossDisk::NodePtr PowerLossDisk::Created(const std::string& path) {
  const auto id = IdOf(path, false);
  if (!tracking_ || !id) return nullptr;
  return live_[*id] = std::make_shared<Node>();
}

PowerLossDisk::NodePtr PowerLossDisk::Opened(const std::string& path) {
  if (!tracking_) return nullptr;
  Track(path.find('/') == std::string::npos ? "." : path.substr(0, path.rfind('/') + 1));
  return NodeAt(path);
}

void PowerLossDisk::FolderCreated(const std::string& path) {
  const auto id = IdOf(path, false);
  if (!tracking_ || !id) return;
  NodePtr node = live_[*id] = std::make_shared<Node>(Node{Node::kFolder, {}});
  if (InsideTestScratch(Absolute(path))) folders_[*id] = Folder{Absolute(path), node, {}};
}

void PowerLossDisk::FileSynced(const NodePtr& node, int fd) {
  if (tracking_ && node && fd >= 0) node->durable = ReadAll(fd);
}

void PowerLossDisk::FolderSynced(const std::string& path) {
  if (!tracking_) return;
  const auto id = IdOf(path, true);
  if (!id) return;
  const auto found = folders_.find(*id);
  if (found != folders_.end()) found->second.durable = Listing(found->second.path);
}

void PowerLossDisk::AllSynced() {
  if (!tracking_) return;
  for (auto& [id, folder] : folders_) {
    folder.durable = Listing(folder.path);
    for (const auto& [name, node] : folder.durable)
      if (node->kind == Node::kFile) node->durable = ReadPath(folder.path + "/" + name);
  }
}

void PowerLossDisk::Cut() {
  if (!tracking_) return;
  std::vector<const Folder*> order;
  for (const auto& [id, folder] : folders_) order.push_back(&folder);
  std::stable_sort(order.begin(), order.end(), [](const Folder* a, const Folder* b) {
    return a->path.size() < b->path.size();
  });
  for (const Folder* folder : order) Restore(*folder);
  Stop();
}

// Restores the names of `folder`, unless what stands at its path now is
// another folder (one that the restore of its parent dropped).
void PowerLossDisk::Restore(const Folder& folder) {
  const auto id = IdOf(folder.path, false);
  if (!id || live_[*id] != folder.self) return;
  for (const std::string& name : NamesIn(folder.path)) {
    const auto durable = folder.durable.find(name);
    const auto now = IdOf(folder.path + "/" + name, false);
    if (durable != folder.durable.end() && now && live_[*now] == durable->second) continue;
    std::error_code ignored;
    std::filesystem::remove_all(folder.path + "/" + name, ignored);
  }
  for (const auto& [name, node] : folder.durable) RestoreName(folder.path + "/" + name, node);
}

void PowerLossDisk::RestoreName(const std::string& path, const NodePtr& node) {
  const auto id = IdOf(path, false);
  if (!id) return Recreate(path, node);
  if (node->kind == Node::kFile && ReadPath(path) != node->durable) WritePath(path, node->durable);
}

void PowerLossDisk::Recreate(const std::string& path, const NodePtr& node) {
  if (node->kind == Node::kFolder) {
    ::mkdir(path.c_str(), 0777);
  } else if (node->kind == Node::kLink) {
    if (::symlink(node->durable.c_str(), path.c_str()) != 0) return;
  } else {
    WritePath(path, node->durable);
  }
  if (const auto id = IdOf(path, false)) live_[*id] = node;
}

}  // namespace testing_support
