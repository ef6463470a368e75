#pragma once
// printf-style text for the console and the result files.
//
// Every number KORU writes goes through here so that all files look the same
// on every platform: numbers in exponent form carry at least three exponent
// digits (1.235e+006), a NaN prints as "nan" (never "-nan"), and the result
// tables pass their measures through single precision before formatting.

#include <cstdarg>
#include <cstdio>
#include <string>

// Formats like snprintf, with the conventions above.
std::string FormatText(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string FormatTextV(const char* fmt, va_list args);

// Writes formatted text to standard output.
void ConsolePrintf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Writes formatted text to an open file; a failure is kept by the file's
// staged set (core/StagedFiles.h).
void FilePrintf(std::FILE* file, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// The value after a round trip through single precision, as the result
// tables print their measures.
double SinglePrecision(double value);
