#include "core/ResultFile.h"

#include "core/FatalStop.h"

std::FILE* OpenResultFile(const std::string& fileName, const char* failureMessage) {
  std::FILE* file = std::fopen(fileName.c_str(), "w");
  if (file == nullptr) FatalStop(failureMessage);
  return file;
}

bool CloseResultFile(std::FILE* file, const char* failureMessage) {
  const bool failed = std::ferror(file) != 0;
  if (std::fclose(file) != 0 || failed) return FatalStop(failureMessage);
  return true;
}
