#pragma once
// Result files that are replaced whole or not at all.
//
// A StagedFiles set writes each of its files to a temporary beside it, named
// "<name>.koru-tmp-<process id>", and only Commit renames the temporaries
// over the final names: after every file has been written, flushed, synced
// and closed without error, one rename right after another, then a sync of
// the folder. Until then every earlier file stays as it was; a set that is
// discarded, or destroyed before its commit, removes its temporaries.
//
// Every write is checked: the streams write through write(2) with short
// writes and EINTR retried, and the first failure of a set (which file, the
// errno) is kept for the message that stops the run.
//
// A name that is a symbolic link is written where the link leads, as opening
// it for writing would. A name that is a device or a pipe (/dev/null, say)
// has no earlier contents to keep: it is written in place.
//
// A killed process leaves its temporaries behind; the next set that stages
// the same name removes those whose process no longer exists.

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

class StagedFiles {
 public:
  StagedFiles();
  ~StagedFiles();  // Discard, unless committed
  StagedFiles(const StagedFiles&) = delete;
  StagedFiles& operator=(const StagedFiles&) = delete;

  // The stream that writes `finalName`. The first call for a name checks
  // that the name could be opened for writing (not a folder, an existing
  // file with write permission, a folder that takes a new file) and creates
  // its temporary; later calls return the same stream. nullptr when that
  // fails (Failed() then names the file and the errno) or the name was
  // closed already.
  std::FILE* Open(const std::string& finalName);

  // Flushes and closes one stream of the set (its file is synced at the
  // commit). False when it or any earlier write to it failed.
  bool Close(std::FILE* stream);

  // Closes the streams still open, syncs and closes every file, then renames
  // every temporary over its final name in the order the names were opened
  // and syncs their folders.
  // False, with every temporary removed and no final name touched, when a
  // write failed or the process was interrupted; a rename that fails stops
  // the renames there.
  bool Commit();

  // Closes every stream without writing what it still holds and removes
  // every temporary. The final names stay as they were.
  void Discard();

  // The first failure: the final name of its file and its errno.
  bool Failed() const { return m_FirstFailure.load() != nullptr; }
  std::string FailedName() const;
  int FailedError() const;

  struct Entry;

 private:
  std::vector<std::unique_ptr<Entry>> m_Entries;
  std::atomic<Entry*> m_FirstFailure{nullptr};
  bool m_Committed = false;

  Entry* Find(std::FILE* stream) const;
};

// The temporary that stages `target` (the name with its links followed) in
// this process.
std::string StagedTemporaryName(const std::string& target);

// Writes to a stream and flushes it; a failure on the stream of a staged set
// is kept as that set's failure (when the write did not reach the file).
// Return false on failure.
bool WriteToStream(std::FILE* stream, const char* data, std::size_t size);
bool FlushStream(std::FILE* stream);

// For a signal handler (async-signal-safe). Unless a set is committing right
// now, marks the process interrupted (every later Open and Commit fails),
// removes the temporaries of every set and returns true; the handler then
// ends the process. While a commit is under way it returns false and removes
// nothing: the commit runs to its end, and the caller ends the process after
// it.
bool InterruptStagedFiles();
