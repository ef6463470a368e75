#include "core/ResultFile.h"

#include <cstring>

#include "core/FatalStop.h"
#include "core/Format.h"
#include "core/StagedFiles.h"

std::FILE* OpenResultFile(StagedFiles& files, const std::string& fileName, const char* failureMessage) {
  std::FILE* file = files.Open(fileName);
  if (file == nullptr) {
    const int error = files.FailedError();
    files.Discard();
    FatalStop(FormatText("%s: %s", failureMessage, std::strerror(error)).c_str());
  }
  return file;
}

bool CloseResultFile(StagedFiles& files, std::FILE* file) {
  if (!files.Close(file)) return StopOnWriteFailure(files);
  return true;
}

bool StopOnWriteFailure(StagedFiles& files) {
  const std::string name = files.FailedName();
  const int error = files.FailedError();
  files.Discard();
  return FatalStop(FormatText("Unable to write %s: %s", name.c_str(), std::strerror(error)).c_str());
}
