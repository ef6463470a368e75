// The shared formatting conventions: three-digit exponents, "nan", and the
// single-precision round trip of the result tables.
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "core/Format.h"

namespace {

struct FormatCase {
  const char* fmt;
  double value;
  const char* expected;
};

TEST(FormatText, WritesThreeExponentDigitsAndKeepsWidth) {
  const FormatCase cases[] = {
      {"%3.4g", 1234567.0, "1.235e+006"},
      {"%2.3g", 250000.0, "2.5e+005"},
      {"%3.4g", 0.000123456, "0.0001235"},
      {"%3.4g", 1.5e-7, "1.5e-007"},
      {"%3.4g", -2.0e-12, "-2e-012"},
      {"%3.4g", 1e100, "1e+100"},
      {"%12.4g", 1234567.0, "  1.235e+006"},
      {"%-12.4g|", 1234567.0, "1.235e+006  |"},
      {"%e", 1.0, "1.000000e+000"},
      {"%3.4f", 0.123456789, "0.1235"},
      {"%3.4f", -9999.0, "-9999.0000"},
      {"%6.0f", 1997.0, "  1997"},
      {"%3.4g", -0.0, " -0"},
  };
  for (const FormatCase& c : cases) EXPECT_EQ(FormatText(c.fmt, c.value), c.expected) << c.fmt;
}

TEST(FormatText, NanHasNoSign) {
  double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(FormatText("%3.4f", -nan), "nan");
  EXPECT_EQ(FormatText("%3.4g", nan), "nan");
  EXPECT_EQ(FormatText("%3.4g", std::numeric_limits<double>::infinity()), "inf");
}

TEST(FormatText, PassesOtherConversionsThrough) {
  EXPECT_EQ(FormatText("%d,%s %u%%", -3, "ab", 7u), "-3,ab 7%");
  EXPECT_EQ(FormatText("[%5d|%-4s]", 42, "x"), "[   42|x   ]");
  EXPECT_EQ(FormatText("%d %6.0f,%3.4g \n", 1, 2.0, 1e-9), "1      2,1e-009 \n");
}

TEST(SinglePrecision, RoundsThroughFloat) {
  EXPECT_EQ(SinglePrecision(0.1), 0.100000001490116119384765625);
  // 0.99995 prints as 1.0000 in double but 0.9999 after the round trip.
  EXPECT_EQ(FormatText("%3.4f", 0.99995), "1.0000");
  EXPECT_EQ(FormatText("%3.4f", SinglePrecision(0.99995)), "0.9999");
  EXPECT_EQ(FormatText("%3.4f", SinglePrecision(1.00004)), "1.0000");
}

}  // namespace
