#include "core/Format.h"

#include <cmath>
#include <cstring>

#include "core/StagedFiles.h"
#include "core/Transcript.h"

namespace {

// Widens a two-digit exponent ("e+06") to three digits ("e+006") and keeps the
// field width: the extra digit takes the place of one padding character.
void WidenExponent(std::string& text, bool leftAlign) {
  std::size_t e = text.find_first_of("eE");
  if (e == std::string::npos || e + 1 >= text.size()) return;
  if (text[e + 1] != '+' && text[e + 1] != '-') return;
  std::size_t digits = 0;
  while (e + 2 + digits < text.size() && text[e + 2 + digits] >= '0' && text[e + 2 + digits] <= '9')
    ++digits;
  if (digits >= 3) return;
  text.insert(e + 2, 3 - digits, '0');
  std::size_t added = 3 - digits;
  // Remove padding the wider exponent now fills.
  for (; added > 0; --added) {
    if (leftAlign) {
      if (!text.empty() && text.back() == ' ') text.pop_back();
      else break;
    } else if (!text.empty() && text.front() == ' ') {
      text.erase(0, 1);
    } else {
      // Zero padding sits after any sign.
      std::size_t start = (text[0] == '-' || text[0] == '+' || text[0] == ' ') ? 1 : 0;
      if (start + 1 < e && text[start] == '0' && text[start + 1] != '.')
        text.erase(start, 1);
      else
        break;
    }
  }
}

}  // namespace

std::string FormatTextV(const char* fmt, va_list args) {
  std::string out;
  const char* p = fmt;
  while (*p) {
    if (*p != '%') {
      out += *p++;
      continue;
    }
    const char* start = p++;
    if (*p == '%') {
      out += '%';
      ++p;
      continue;
    }
    bool leftAlign = false;
    while (*p && std::strchr("-+ #0", *p)) {
      if (*p == '-') leftAlign = true;
      ++p;
    }
    int starArgs[2];
    int stars = 0;
    if (*p == '*') {
      starArgs[stars++] = va_arg(args, int);
      if (starArgs[0] < 0) leftAlign = true;
      ++p;
    } else {
      while (*p >= '0' && *p <= '9') ++p;
    }
    if (*p == '.') {
      ++p;
      if (*p == '*') {
        starArgs[stars++] = va_arg(args, int);
        ++p;
      } else {
        while (*p >= '0' && *p <= '9') ++p;
      }
    }
    int longs = 0;
    bool sizeMod = false;
    while (*p && std::strchr("hlLzjt", *p)) {
      if (*p == 'l') ++longs;
      if (*p == 'z' || *p == 'j' || *p == 't') sizeMod = true;
      ++p;
    }
    char conv = *p;
    if (conv == '\0') break;
    ++p;
    std::string conversion(start, p);
    char buffer[512];
    std::string piece;
    auto emit = [&](auto value) {
      int n;
      if (stars == 0) n = std::snprintf(buffer, sizeof buffer, conversion.c_str(), value);
      else if (stars == 1) n = std::snprintf(buffer, sizeof buffer, conversion.c_str(), starArgs[0], value);
      else n = std::snprintf(buffer, sizeof buffer, conversion.c_str(), starArgs[0], starArgs[1], value);
      if (n < 0) return;
      if (static_cast<std::size_t>(n) < sizeof buffer) {
        piece.assign(buffer, n);
      } else {
        std::string big(static_cast<std::size_t>(n) + 1, '\0');
        if (stars == 0) std::snprintf(&big[0], big.size(), conversion.c_str(), value);
        else if (stars == 1) std::snprintf(&big[0], big.size(), conversion.c_str(), starArgs[0], value);
        else std::snprintf(&big[0], big.size(), conversion.c_str(), starArgs[0], starArgs[1], value);
        big.resize(static_cast<std::size_t>(n));
        piece = big;
      }
    };
    switch (conv) {
      case 'd':
      case 'i':
        if (sizeMod) emit(va_arg(args, long long));
        else if (longs >= 2) emit(va_arg(args, long long));
        else if (longs == 1) emit(va_arg(args, long));
        else emit(va_arg(args, int));
        break;
      case 'u':
      case 'x':
      case 'X':
      case 'o':
        if (sizeMod) emit(va_arg(args, unsigned long long));
        else if (longs >= 2) emit(va_arg(args, unsigned long long));
        else if (longs == 1) emit(va_arg(args, unsigned long));
        else emit(va_arg(args, unsigned int));
        break;
      case 'c':
        emit(va_arg(args, int));
        break;
      case 's':
        emit(va_arg(args, const char*));
        break;
      case 'p':
        emit(va_arg(args, void*));
        break;
      case 'f':
      case 'F':
      case 'e':
      case 'E':
      case 'g':
      case 'G':
      case 'a':
      case 'A': {
        double value = va_arg(args, double);
        // A NaN carries no meaningful sign: always "nan".
        if (std::isnan(value)) value = std::fabs(value);
        emit(value);
        if (conv == 'e' || conv == 'E' || conv == 'g' || conv == 'G') WidenExponent(piece, leftAlign);
        break;
      }
      default:
        piece = conversion;
        break;
    }
    out += piece;
  }
  return out;
}

std::string FormatText(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string text = FormatTextV(fmt, args);
  va_end(args);
  return text;
}

void ConsolePrintf(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string text = FormatTextV(fmt, args);
  va_end(args);
  WriteConsoleText(text);
}

void FilePrintf(std::FILE* file, const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string text = FormatTextV(fmt, args);
  va_end(args);
  WriteToStream(file, text.data(), text.size());
}

double SinglePrecision(double value) {
  volatile float single = static_cast<float>(value);
  return static_cast<double>(single);
}
