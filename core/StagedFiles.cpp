#include "core/StagedFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

struct StagedFiles::Entry {
  StagedFiles* set = nullptr;
  std::string finalName;  // as given
  std::string target;     // the name with its symbolic links followed
  std::string temporary;  // empty for a device or pipe written in place
  int fd = -1;
  std::FILE* stream = nullptr;
  int error = 0;          // errno of the first failure of this file
  int slot = -1;          // where the temporary is listed for a signal handler
  bool closed = false;
  bool discarding = false;  // the stream's buffer goes nowhere

  // Keeps the first failure of this file, and of its set.
  void Fail(int errorNumber) {
    if (error == 0) error = errorNumber != 0 ? errorNumber : EIO;
    Entry* none = nullptr;
    set->m_FirstFailure.compare_exchange_strong(none, this);
  }
  // Closes and removes what this file holds; the final name stays.
  void Drop();
};

namespace {

constexpr const char kTemporaryMark[] = ".koru-tmp-";

// ---------------------------------------------------------------------------
// The temporaries of every set, where a signal handler can read them: fixed
// slots, each path guarded by a version that is odd while the path changes.

constexpr int kSlots = 64;
constexpr std::size_t kSlotPath = 4096;

struct Slot {
  std::atomic<unsigned> version{0};
  std::atomic<bool> live{false};
  char path[kSlotPath];
};

Slot gSlots[kSlots];
std::mutex gSlotsMutex;  // claims and frees slots; never taken by a handler

// >= 0: the number of commits under way; -1: the process was interrupted.
std::atomic<int> gCommitState{0};

int ClaimSlot(const std::string& path) {
  if (path.size() >= kSlotPath) return -1;  // left for the next run to remove
  std::lock_guard<std::mutex> lock(gSlotsMutex);
  for (int i = 0; i < kSlots; ++i) {
    Slot& slot = gSlots[i];
    if (slot.live.load()) continue;
    slot.version.fetch_add(1);
    std::memcpy(slot.path, path.c_str(), path.size() + 1);
    slot.version.fetch_add(1);
    slot.live.store(true);
    return i;
  }
  return -1;
}

void FreeSlot(int& index) {
  if (index < 0) return;
  std::lock_guard<std::mutex> lock(gSlotsMutex);
  gSlots[index].live.store(false);
  index = -1;
}

// Every stream of every set, for the failures found outside a set's own calls.
std::mutex gStreamsMutex;
std::vector<StagedFiles::Entry*> gStreams;

void ListStream(StagedFiles::Entry* entry) {
  std::lock_guard<std::mutex> lock(gStreamsMutex);
  gStreams.push_back(entry);
}

void UnlistStream(StagedFiles::Entry* entry) {
  std::lock_guard<std::mutex> lock(gStreamsMutex);
  gStreams.erase(std::remove(gStreams.begin(), gStreams.end(), entry), gStreams.end());
}

StagedFiles::Entry* ListedEntry(std::FILE* stream) {
  std::lock_guard<std::mutex> lock(gStreamsMutex);
  for (StagedFiles::Entry* entry : gStreams)
    if (entry->stream == stream) return entry;
  return nullptr;
}

// ---------------------------------------------------------------------------
// Names

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string LeafOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows symbolic links as opening the name would; false with errno set.
bool FollowLinks(const std::string& name, std::string& target) {
  target = name;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info;
    if (::lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return true;
    std::string link(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 255) + 1, '\0');
    const ssize_t n = ::readlink(target.c_str(), &link[0], link.size());
    if (n < 0) return false;
    if (static_cast<std::size_t>(n) >= link.size()) {
      errno = ENAMETOOLONG;
      return false;
    }
    link.resize(static_cast<std::size_t>(n));
    target = (!link.empty() && link[0] == '/') || target.find('/') == std::string::npos
                 ? link
                 : FolderOf(target) + "/" + link;
  }
  errno = ELOOP;
  return false;
}

bool IsListedTemporary(const std::string& path) {
  std::lock_guard<std::mutex> lock(gStreamsMutex);
  for (const StagedFiles::Entry* entry : gStreams)
    if (entry->temporary == path) return true;
  return false;
}

// Removes the temporaries of `target` that processes which have ended left
// behind: "<leaf>.koru-tmp-<pid>" with no such process (or this process,
// when no set of it holds the file).
void RemoveLeftTemporaries(const std::string& target) {
  const std::string folder = FolderOf(target);
  const std::string prefix = LeafOf(target) + kTemporaryMark;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  while (const dirent* item = ::readdir(dir)) {
    const std::string name = item->d_name;
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string digits = name.substr(prefix.size());
    if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
    const pid_t pid = static_cast<pid_t>(std::atol(digits.c_str()));
    const std::string path = folder + "/" + name;
    const bool ended = pid == ::getpid() ? !IsListedTemporary(path) : ::kill(pid, 0) != 0 && errno == ESRCH;
    if (ended) ::unlink(path.c_str());
  }
  ::closedir(dir);
}

// ---------------------------------------------------------------------------
// The streams: stdio buffers the text, this writes it with write(2).

constexpr std::size_t kStreamBuffer = 1 << 16;

ssize_t WriteEntry(void* cookie, const char* data, std::size_t size) {
  StagedFiles::Entry& entry = *static_cast<StagedFiles::Entry*>(cookie);
  if (entry.discarding) return static_cast<ssize_t>(size);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(entry.fd, data + done, size - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      const int error = n < 0 ? errno : EIO;
      entry.Fail(error);
      errno = error;
      break;  // stdio marks the stream's error on a short count
    }
  }
  return static_cast<ssize_t>(done);
}

// fsync where the file system supports it: a device or pipe that cannot be
// synced is no failure.
bool SyncFile(int fd) {
  if (::fsync(fd) == 0) return true;
  return errno == EINVAL || errno == ENOTSUP || errno == EOPNOTSUPP;
}

}  // namespace

std::string StagedTemporaryName(const std::string& target) {
  return target + kTemporaryMark + std::to_string(static_cast<long>(::getpid()));
}

StagedFiles::StagedFiles() = default;

StagedFiles::~StagedFiles() {
  if (!m_Committed) Discard();
}

StagedFiles::Entry* StagedFiles::Find(std::FILE* stream) const {
  for (const auto& entry : m_Entries)
    if (entry->stream == stream && stream != nullptr) return entry.get();
  return nullptr;
}

std::string StagedFiles::FailedName() const {
  const Entry* entry = m_FirstFailure.load();
  return entry != nullptr ? entry->finalName : "";
}

int StagedFiles::FailedError() const {
  const Entry* entry = m_FirstFailure.load();
  return entry != nullptr ? entry->error : 0;
}

std::FILE* StagedFiles::Open(const std::string& finalName) {
  for (const auto& entry : m_Entries)
    if (entry->finalName == finalName) return entry->closed ? nullptr : entry->stream;

  m_Entries.push_back(std::make_unique<Entry>());
  Entry& entry = *m_Entries.back();
  entry.set = this;
  entry.finalName = finalName;
  auto fail = [&](int error) -> std::FILE* {
    entry.Fail(error);
    entry.Drop();
    return nullptr;
  };
  if (gCommitState.load() < 0) return fail(EINTR);
  if (!FollowLinks(finalName, entry.target)) return fail(errno);

  struct stat info;
  const bool exists = ::lstat(entry.target.c_str(), &info) == 0;
  if (!exists && errno != ENOENT) return fail(errno);
  if (exists && S_ISDIR(info.st_mode)) return fail(EISDIR);
  if (exists && !S_ISREG(info.st_mode)) {
    // A device or pipe: written in place, as before.
    entry.fd = ::open(entry.target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666);
    if (entry.fd < 0) return fail(errno);
  } else {
    if (exists) {
      // An existing file must be one this process could write itself.
      const int probe = ::open(entry.target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
      if (probe < 0) return fail(errno);
      ::close(probe);
    }
    RemoveLeftTemporaries(entry.target);
    entry.temporary = StagedTemporaryName(entry.target);
    entry.slot = ClaimSlot(entry.temporary);  // before the file exists: a handler may remove it at once
    entry.fd = ::open(entry.temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (entry.fd < 0) {
      const int error = errno;
      entry.temporary.clear();  // not ours: it was never created
      return fail(error);
    }
    if (exists) {
      // The new file keeps the permissions (and, where allowed, the owner) of the one it replaces.
      ::fchmod(entry.fd, info.st_mode & 07777);
      if (info.st_uid != ::geteuid() || info.st_gid != ::getegid())
        if (::fchown(entry.fd, info.st_uid, info.st_gid) != 0) { /* not allowed: the new owner stays */ }
    }
  }

  cookie_io_functions_t functions = {nullptr, WriteEntry, nullptr, nullptr};
  entry.stream = ::fopencookie(&entry, "w", functions);
  if (entry.stream == nullptr) return fail(errno != 0 ? errno : ENOMEM);
  std::setvbuf(entry.stream, nullptr, _IOFBF, kStreamBuffer);
  ListStream(&entry);
  return entry.stream;
}

bool StagedFiles::Close(std::FILE* stream) {
  Entry* found = Find(stream);
  if (found == nullptr) return false;
  Entry& entry = *found;
  if (entry.closed) return entry.error == 0;
  const bool flushed = std::fflush(entry.stream) == 0;
  if (!flushed || std::ferror(entry.stream) != 0) entry.Fail(!flushed ? errno : EIO);
  UnlistStream(&entry);
  if (std::fclose(entry.stream) != 0) entry.Fail(errno);
  entry.stream = nullptr;
  entry.closed = true;  // the descriptor stays open for the sync at the commit
  return entry.error == 0;
}

bool StagedFiles::Commit() {
  if (m_Committed) return true;
  for (const auto& entry : m_Entries)
    if (!entry->closed) Close(entry->stream);
  // The syncs come after every file was written: the first one usually
  // writes them all at once, the later ones find little left to do.
  for (const auto& entry : m_Entries) {
    if (entry->fd < 0) continue;
    if (!Failed() && !SyncFile(entry->fd)) entry->Fail(errno);
    if (::close(entry->fd) != 0 && errno != EINTR) entry->Fail(errno);
    entry->fd = -1;
  }
  if (Failed()) {
    Discard();
    return false;
  }

  // No signal handler removes temporaries while the renames run.
  int state = gCommitState.load();
  do {
    if (state < 0) {
      if (!m_Entries.empty()) m_Entries.front()->Fail(EINTR);
      Discard();
      return false;
    }
  } while (!gCommitState.compare_exchange_weak(state, state + 1));
  std::size_t renamed = 0;
  for (; renamed < m_Entries.size(); ++renamed) {
    Entry& entry = *m_Entries[renamed];
    if (entry.temporary.empty()) continue;
    if (std::rename(entry.temporary.c_str(), entry.target.c_str()) != 0) {
      entry.Fail(errno);
      break;
    }
  }
  gCommitState.fetch_sub(1);

  std::set<std::string> folders;
  for (std::size_t i = 0; i < renamed; ++i) {
    Entry& entry = *m_Entries[i];
    if (entry.temporary.empty()) continue;
    FreeSlot(entry.slot);
    entry.temporary.clear();
    folders.insert(FolderOf(entry.target));
  }
  // The renames are made; a folder that cannot be synced leaves nothing to undo.
  for (const std::string& folder : folders) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) continue;
    ::fsync(fd);
    ::close(fd);
  }
  if (Failed()) {
    Discard();
    return false;
  }
  m_Committed = true;
  return true;
}

void StagedFiles::Entry::Drop() {
  if (stream != nullptr) {
    UnlistStream(this);
    discarding = true;
    std::fclose(stream);
    stream = nullptr;
  }
  if (fd >= 0) ::close(fd);
  fd = -1;
  closed = true;
  if (!temporary.empty()) ::unlink(temporary.c_str());
  temporary.clear();
  FreeSlot(slot);
}

void StagedFiles::Discard() {
  for (const auto& entry : m_Entries) entry->Drop();
}

bool WriteToStream(std::FILE* stream, const char* data, std::size_t size) {
  if (size == 0) return true;
  if (std::fwrite(data, 1, size, stream) == size) return true;
  const int error = errno;
  if (StagedFiles::Entry* entry = ListedEntry(stream)) entry->Fail(error);
  return false;
}

bool FlushStream(std::FILE* stream) {
  if (std::fflush(stream) == 0) return true;
  const int error = errno;
  if (StagedFiles::Entry* entry = ListedEntry(stream)) entry->Fail(error);
  return false;
}

bool InterruptStagedFiles() {
  int state = gCommitState.load();
  do {
    if (state > 0) return false;
  } while (state == 0 && !gCommitState.compare_exchange_weak(state, -1));
  char path[kSlotPath];
  for (Slot& slot : gSlots) {
    if (!slot.live.load()) continue;
    const unsigned before = slot.version.load();
    if (before % 2 != 0) continue;
    std::memcpy(path, slot.path, kSlotPath);
    path[kSlotPath - 1] = '\0';
    if (slot.version.load() != before || !slot.live.load()) continue;
    ::unlink(path);
  }
  return true;
}
