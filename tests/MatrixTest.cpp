// Tests of the dense Matrix: the capacity rule, zeroing of the new region,
// SetDimensions keeping values, tested access, block copies with their
// mismatch messages, and MultScalar.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "lp/Matrix.h"

namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

// A matrix of capacity rows x cols, current size rows-1 x cols-1, element
// (i, j) = 10 i + j + 1 over the whole capacity.
void MakeNumbered(Matrix& m, uint32_t maxRows, uint32_t maxCols) {
  m.Create(maxRows, maxCols, 0, 0);
  for (uint32_t i = 0; i < maxRows; ++i) {
    for (uint32_t j = 0; j < maxCols; ++j) m.Row(i)[j] = 10.0 * i + j + 1;
  }
  m.SetDimensions(maxRows - 1, maxCols - 1);
}

TEST(MatrixStorage, CreationGivesZeroedRowsWithStrideOfTheCapacity) {
  Matrix m;
  m.Create(4, 6, 3, 5);
  EXPECT_EQ(m.m_IsAllocated, 1);
  EXPECT_EQ(m.m_ErrorFlag, 0);
  EXPECT_EQ(m.m_NumRows, 3u);
  EXPECT_EQ(m.m_NumCols, 5u);
  for (uint32_t i = 0; i < 4; ++i) {
    for (uint32_t j = 0; j < 6; ++j) EXPECT_EQ(m.Row(i)[j], 0.0);
  }
  for (uint32_t i = 1; i < 4; ++i) EXPECT_EQ(m.Row(i), m.Row(i - 1) + 6);
  // Element (i, j) is block[i * m_MaxCols + j]: the last row runs one stride on.
  m.Row(3)[5] = 7.0;
  EXPECT_EQ(m.Row(0)[3 * 6 + 5], 7.0);
}

TEST(MatrixStorage, FreeMemoryKeepsTheSizes) {
  Matrix m;
  m.Create(4, 6, 3, 5);
  m.FreeMemory();
  EXPECT_EQ(m.m_IsAllocated, 0);
  EXPECT_EQ(m.m_NumRows, 3u);
  EXPECT_EQ(m.m_NumCols, 5u);
  EXPECT_EQ(m.m_MaxRows, 4u);
  m.InitializeMemory();
  EXPECT_EQ(m.m_IsAllocated, 1);
  EXPECT_EQ(m.GetValue(2, 4), 0.0);
}

// Accesses outside the current size of a 3 x 4 matrix (capacity 5 x 6): each
// read yields 1.0 and each write stores nothing, with one line each.
struct OutOfRange {
  uint32_t row, col;
};
const std::vector<OutOfRange> kOutOfRange = {
    {3, 0},           // row m_NumRows: exists in storage, still refused
    {0, 4},           // column m_NumCols
    {4, 5},           // inside the capacity
    {5, 0},           // row m_MaxRows
    {UINT32_MAX, 0},  // a "negative" index
    {0, UINT32_MAX},
};

TEST(MatrixAccess, OutOfRangeReadsYieldOneAndWritesStoreNothing) {
  for (const OutOfRange& at : kOutOfRange) {
    SCOPED_TRACE(std::to_string(at.row) + "," + std::to_string(at.col));
    Matrix m;
    m.Create(5, 6, 3, 4);
    if (at.row < 5 && at.col < 6) m.Row(at.row)[at.col] = 42.0;
    CaptureStdout();
    const double value = m.GetValue(at.row, at.col);
    EXPECT_EQ(GetCapturedStdout(), "Error Detected : GetValue\n");
    EXPECT_EQ(value, 1.0);
    EXPECT_EQ(m.m_ErrorFlag, 1);

    Matrix w;
    w.Create(5, 6, 3, 4);
    CaptureStdout();
    w.SetValue(at.row, at.col, 9.0);
    EXPECT_EQ(GetCapturedStdout(), "Error Detected : SetValue\n");
    EXPECT_EQ(w.m_ErrorFlag, 1);
    if (at.row < 5 && at.col < 6) {
      EXPECT_EQ(w.Row(at.row)[at.col], 0.0);
    }
  }
}

TEST(MatrixAccess, InRangeAccessAndTheStickyErrorFlag) {
  Matrix m;
  m.Create(5, 6, 3, 4);
  m.SetValue(2, 3, -2.5);
  EXPECT_EQ(m.GetValue(2, 3), -2.5);
  EXPECT_EQ(m.m_ErrorFlag, 0);
  CaptureStdout();
  m.GetValue(3, 3);
  GetCapturedStdout();
  m.SetValue(0, 0, 1.0);
  EXPECT_EQ(m.GetValue(0, 0), 1.0);
  EXPECT_EQ(m.m_ErrorFlag, 1);  // nothing resets it
}

// ResetMatrix against a capacity of 5 x 6.
struct ResetCase {
  uint32_t rows, cols;
  int result;
  std::string console;
};
const std::vector<ResetCase> kResets = {
    {4, 5, 0, ""},
    {0, 0, 0, ""},
    {5, 2, 1,
     "Reset Matrix : dimensions required [5,2] Max Dimensions [5,6]\n"
     "Error Detected : ResetMatrix : More memory required. Reallocate Max Memory\n"},
    {2, 6, 1,
     "Reset Matrix : dimensions required [2,6] Max Dimensions [5,6]\n"
     "Error Detected : ResetMatrix : More memory required. Reallocate Max Memory\n"},
};

TEST(MatrixResize, ResetMatrixKeepsTheSizeStrictlyBelowTheCapacity) {
  for (const ResetCase& c : kResets) {
    SCOPED_TRACE(std::to_string(c.rows) + "x" + std::to_string(c.cols));
    Matrix m;
    MakeNumbered(m, 5, 6);  // current size 4 x 5
    CaptureStdout();
    EXPECT_EQ(m.ResetMatrix(c.rows, c.cols), c.result);
    EXPECT_EQ(GetCapturedStdout(), c.console);
    if (c.result == 0) {
      EXPECT_EQ(m.m_NumRows, c.rows);
      EXPECT_EQ(m.m_NumCols, c.cols);
      EXPECT_EQ(m.m_ErrorFlag, 0);
    } else {
      EXPECT_EQ(m.m_NumRows, 4u);
      EXPECT_EQ(m.m_NumCols, 5u);
      EXPECT_EQ(m.Row(1)[1], 12.0);  // contents unchanged
      EXPECT_EQ(m.m_ErrorFlag, 1);
    }
  }
}

TEST(MatrixResize, ResetToZeroRowsMakesEveryAccessFail) {
  Matrix m;
  m.Create(3, 3, 2, 2);
  EXPECT_EQ(m.ResetMatrix(0, 0), 0);
  CaptureStdout();
  EXPECT_EQ(m.GetValue(0, 0), 1.0);
  m.SetValue(0, 0, 3.0);
  EXPECT_EQ(GetCapturedStdout(), "Error Detected : GetValue\nError Detected : SetValue\n");
}

TEST(MatrixResize, ResetZeroesOnlyTheNewRegion) {
  Matrix m;
  MakeNumbered(m, 5, 6);
  ASSERT_EQ(m.ResetMatrix(2, 3), 0);
  // Inside the 2 x 3 region: zero. Outside it: the old numbers.
  EXPECT_EQ(m.Row(1)[2], 0.0);
  EXPECT_EQ(m.Row(1)[3], 14.0);
  EXPECT_EQ(m.Row(2)[0], 21.0);
  EXPECT_EQ(m.Row(4)[5], 46.0);
  // Growing again within the capacity zeroes the regrown part.
  ASSERT_EQ(m.ResetMatrix(4, 5), 0);
  for (uint32_t i = 0; i < 4; ++i) {
    for (uint32_t j = 0; j < 5; ++j) EXPECT_EQ(m.GetValue(i, j), 0.0);
  }
  EXPECT_EQ(m.Row(4)[5], 46.0);
}

TEST(MatrixResize, SetDimensionsKeepsValues) {
  Matrix m;
  MakeNumbered(m, 5, 6);
  m.SetDimensions(4, 3);  // cut the two last columns
  EXPECT_EQ(m.m_NumCols, 3u);
  EXPECT_EQ(m.GetValue(3, 2), 33.0);
  CaptureStdout();
  EXPECT_EQ(m.GetValue(0, 3), 1.0);
  GetCapturedStdout();
  m.SetDimensions(4, 5);  // the removed columns come back with their values
  EXPECT_EQ(m.GetValue(0, 3), 4.0);
  EXPECT_EQ(m.GetValue(3, 4), 35.0);
}

TEST(MatrixResize, SetDimensionsRefusals) {
  Matrix m;
  MakeNumbered(m, 5, 6);  // 4 x 5
  CaptureStdout();
  m.SetDimensions(5, 2);
  EXPECT_EQ(GetCapturedStdout(), "m_NumRows=4,m_NumCols=5\npNumRows=5,pNumCols=2\nError Detected : SetDimensions\n");
  EXPECT_EQ(m.m_NumRows, 4u);
  EXPECT_EQ(m.m_NumCols, 5u);
  EXPECT_EQ(m.m_ErrorFlag, 1);

  Matrix w;
  MakeNumbered(w, 5, 6);
  CaptureStdout();
  w.SetDimensions(2, 6);  // acceptable rows, too many columns: nothing at all
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_EQ(w.m_NumRows, 4u);
  EXPECT_EQ(w.m_NumCols, 5u);
  EXPECT_EQ(w.m_ErrorFlag, 0);
}

TEST(MatrixCopy, SetSubMatrixCopiesTheBlock) {
  Matrix src;
  MakeNumbered(src, 9, 4);  // 8 x 3
  Matrix dest;
  dest.Create(6, 6, 5, 5);
  // Source rows 4..7, columns 1..2 into destination rows 0..3, columns 2..3.
  EXPECT_EQ(SetSubMatrix(dest, 0, 3, 2, 3, src, 4, 7, 1, 2), 0);
  for (uint32_t r = 0; r < 4; ++r) {
    EXPECT_EQ(dest.GetValue(r, 2), 10.0 * (r + 4) + 2);
    EXPECT_EQ(dest.GetValue(r, 3), 10.0 * (r + 4) + 3);
    EXPECT_EQ(dest.GetValue(r, 1), 0.0);
    EXPECT_EQ(dest.GetValue(r, 4), 0.0);
  }
  EXPECT_EQ(dest.GetValue(4, 2), 0.0);
}

struct CopyMismatch {
  const char* name;
  uint32_t destRowLast, destColLast;
  int result;
  std::string console;
};
const std::vector<CopyMismatch> kCopyMismatches = {
    {"five destination rows for four", 4, 3, 1, "Error Detected : SetSubMatrix\n"},
    {"three destination columns for two", 3, 4, 0, ""},
};

TEST(MatrixCopy, SetSubMatrixMismatchCopiesNothing) {
  for (const CopyMismatch& c : kCopyMismatches) {
    SCOPED_TRACE(c.name);
    Matrix src;
    MakeNumbered(src, 9, 4);
    Matrix dest;
    dest.Create(6, 6, 5, 5);
    CaptureStdout();
    EXPECT_EQ(SetSubMatrix(dest, 0, c.destRowLast, 2, c.destColLast, src, 4, 7, 1, 2), c.result);
    EXPECT_EQ(GetCapturedStdout(), c.console);
    EXPECT_EQ(dest.m_ErrorFlag, c.result);
    EXPECT_EQ(src.m_ErrorFlag, 0);
    for (uint32_t r = 0; r < 5; ++r) {
      for (uint32_t k = 0; k < 5; ++k) EXPECT_EQ(dest.GetValue(r, k), 0.0);
    }
  }
}

TEST(MatrixCopy, SetSubMatrixOutOfRangeElementsFailOneByOne) {
  Matrix src;
  src.Create(4, 4, 2, 2);
  src.SetValue(1, 1, 5.0);
  Matrix dest;
  dest.Create(4, 4, 1, 3);
  // Source rows 1..2 into destination rows 0..1: source row 2 lies outside the
  // source (each read gives 1.0) and destination row 1 outside the destination
  // (each write is skipped).
  CaptureStdout();
  EXPECT_EQ(SetSubMatrix(dest, 0, 1, 0, 1, src, 1, 2, 0, 1), 0);
  EXPECT_EQ(GetCapturedStdout(),
            "Error Detected : GetValue\nError Detected : SetValue\n"
            "Error Detected : GetValue\nError Detected : SetValue\n");
  EXPECT_EQ(dest.GetValue(0, 0), 0.0);
  EXPECT_EQ(dest.GetValue(0, 1), 5.0);
  EXPECT_EQ(dest.Row(1)[0], 0.0);
  EXPECT_EQ(dest.Row(1)[1], 0.0);
  EXPECT_EQ(src.m_ErrorFlag, 1);
  EXPECT_EQ(dest.m_ErrorFlag, 1);
}

TEST(MatrixCopy, SetSubMatrixTransposedLaysRowsOutAsColumns) {
  Matrix src;
  MakeNumbered(src, 6, 4);  // 5 x 3
  Matrix dest;
  dest.Create(6, 6, 5, 5);
  // Source rows 1..3, columns 0..2 -> destination rows 2..4, columns 0..2.
  EXPECT_EQ(SetSubMatrixTransposed(dest, src, 1, 3, 2, 2, 4, 2), 0);
  for (uint32_t r = 1; r <= 3; ++r) {
    for (uint32_t s = 0; s <= 2; ++s) EXPECT_EQ(dest.GetValue(2 + s, r - 1), 10.0 * r + s + 1);
  }
  EXPECT_EQ(dest.GetValue(1, 0), 0.0);
  EXPECT_EQ(dest.GetValue(2, 3), 0.0);
}

TEST(MatrixCopy, SetSubMatrixTransposedMismatches) {
  Matrix src;
  MakeNumbered(src, 6, 4);
  Matrix dest;
  dest.Create(6, 6, 5, 5);
  CaptureStdout();
  // Three source rows (span 2) against destination columns 0..1.
  EXPECT_EQ(SetSubMatrixTransposed(dest, src, 1, 3, 2, 2, 4, 1), 1);
  EXPECT_EQ(GetCapturedStdout(),
            "Error Detected : SetSubMatrixTransposed : matrix dimension mismatch : Source dimensions [2,2] "
            "destination dimensions [2,1]\n");
  EXPECT_EQ(dest.m_ErrorFlag, 1);

  Matrix quiet;
  quiet.Create(6, 6, 5, 5);
  CaptureStdout();
  // Source columns 0..2 against destination rows 2..3: nothing, silently.
  EXPECT_EQ(SetSubMatrixTransposed(quiet, src, 1, 3, 2, 2, 3, 2), 0);
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_EQ(quiet.m_ErrorFlag, 0);
  for (uint32_t r = 0; r < 5; ++r) {
    for (uint32_t k = 0; k < 5; ++k) EXPECT_EQ(quiet.GetValue(r, k), 0.0);
  }
}

TEST(MatrixScale, MultScalarScalesTheCurrentRegionOnly) {
  Matrix m;
  MakeNumbered(m, 5, 6);
  m.SetDimensions(2, 3);
  EXPECT_EQ(m.MultScalar(-0.5), 0);
  EXPECT_EQ(m.GetValue(1, 2), -6.5);
  EXPECT_EQ(m.GetValue(0, 0), -0.5);
  EXPECT_EQ(m.Row(1)[3], 14.0);
  EXPECT_EQ(m.Row(2)[0], 21.0);
  EXPECT_EQ(m.m_ErrorFlag, 0);
}

TEST(MatrixScale, MultScalarMinusOneTurnsZerosNegative) {
  Matrix m;
  m.Create(4, 4, 0, 0);
  m.ResetMatrix(3, 3);
  EXPECT_EQ(m.MultScalar(-1.0), 0);
  for (uint32_t i = 0; i < 3; ++i) {
    for (uint32_t j = 0; j < 3; ++j) {
      EXPECT_EQ(m.GetValue(i, j), 0.0);
      EXPECT_TRUE(std::signbit(m.GetValue(i, j)));
    }
  }
  EXPECT_FALSE(std::signbit(m.Row(3)[0]));
}

// ---------------------------------------------------------------------------
// Packed layout: rows of the current column count back to back.

TEST(MatrixPacked, ResetMatrixPackedLaysRowsBackToBackAndZeroesThem) {
  Matrix m;
  MakeNumbered(m, 6, 7);
  ASSERT_EQ(m.ResetMatrixPacked(4, 3), 0);
  EXPECT_EQ(m.m_NumRows, 4u);
  EXPECT_EQ(m.m_NumCols, 3u);
  // Rows 0..4 (the row after the last included) start 3 elements apart.
  for (uint32_t i = 1; i <= 4; ++i) EXPECT_EQ(m.Row(i), m.Row(0) + 3 * i) << i;
  for (uint32_t i = 0; i < 4; ++i) {
    for (uint32_t j = 0; j < 3; ++j) EXPECT_EQ(m.GetValue(i, j), 0.0);
  }
  // The tested access follows the new layout.
  m.SetValue(2, 1, 5.0);
  EXPECT_EQ(m.Row(0)[2 * 3 + 1], 5.0);
  EXPECT_EQ(m.m_ErrorFlag, 0);
}

TEST(MatrixPacked, RefusalsAreThoseOfResetMatrix) {
  for (const ResetCase& c : kResets) {
    if (c.result == 0) continue;
    SCOPED_TRACE(std::to_string(c.rows) + "x" + std::to_string(c.cols));
    Matrix m;
    MakeNumbered(m, 5, 6);  // current size 4 x 5
    CaptureStdout();
    EXPECT_EQ(m.ResetMatrixPacked(c.rows, c.cols), 1);
    EXPECT_EQ(GetCapturedStdout(), c.console);
    EXPECT_EQ(m.m_NumRows, 4u);
    EXPECT_EQ(m.m_NumCols, 5u);
    EXPECT_EQ(m.Row(1)[1], 12.0);  // layout and contents unchanged
    EXPECT_EQ(m.m_ErrorFlag, 1);

    Matrix r;
    MakeNumbered(r, 5, 6);
    CaptureStdout();
    EXPECT_EQ(r.ResizePacked(c.rows, c.cols), 1);
    EXPECT_EQ(GetCapturedStdout(), c.console);
    EXPECT_EQ(r.Row(1)[1], 12.0);
  }
}

TEST(MatrixPacked, ResizePackedKeepsWhatLiesInTheBlock) {
  Matrix m;
  MakeNumbered(m, 5, 6);  // block element e holds the value of (e / 6, e % 6)
  ASSERT_EQ(m.ResizePacked(2, 4), 0);
  // No zeroing: element (1, 2) is block element 1 * 4 + 2 = 6, i.e. (1, 0).
  EXPECT_EQ(m.GetValue(1, 2), 11.0);
  EXPECT_EQ(m.GetValue(0, 3), 4.0);
}

TEST(MatrixPacked, ColumnsNarrowAndWidenOnlyWithinTheStride) {
  Matrix m;
  m.Create(6, 8, 0, 0);
  ASSERT_EQ(m.ResetMatrixPacked(3, 4), 0);
  for (uint32_t i = 0; i < 3; ++i) {
    for (uint32_t j = 0; j < 4; ++j) m.SetValue(i, j, 10.0 * i + j);
  }
  m.SetDimensions(3, 2);  // cut two columns: the values stay in place
  EXPECT_EQ(m.GetValue(2, 1), 21.0);
  m.SetDimensions(3, 4);  // and come back
  EXPECT_EQ(m.GetValue(2, 3), 23.0);
  CaptureStdout();
  m.SetDimensions(3, 5);  // wider than the rows: refused, like too many columns
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_EQ(m.m_NumCols, 4u);
  EXPECT_EQ(m.m_ErrorFlag, 0);
  m.SetDimensions(5, 4);  // more rows: they follow the packed layout
  EXPECT_EQ(m.Row(5), m.Row(0) + 20);
}

TEST(MatrixPacked, ResetMatrixReturnsToTheCapacityStride) {
  Matrix m;
  m.Create(5, 6, 0, 0);
  ASSERT_EQ(m.ResetMatrixPacked(4, 2), 0);
  for (uint32_t i = 0; i < 4; ++i) {
    for (uint32_t j = 0; j < 2; ++j) m.SetValue(i, j, 7.0);
  }
  ASSERT_EQ(m.ResetMatrix(4, 5), 0);
  for (uint32_t i = 1; i < 5; ++i) EXPECT_EQ(m.Row(i), m.Row(i - 1) + 6) << i;
  for (uint32_t i = 0; i < 4; ++i) {
    for (uint32_t j = 0; j < 5; ++j) EXPECT_EQ(m.GetValue(i, j), 0.0);
  }
}

TEST(MatrixPacked, LargestPackedSizeLeavesTheNextRowInTheBlock) {
  Matrix m;
  m.Create(5, 6, 0, 0);
  ASSERT_EQ(m.ResetMatrixPacked(4, 5), 0);
  // Row 4 is the solver's extra row; it ends at element 25 of a block of
  // (5 + 1) x (6 + 1) = 42.
  EXPECT_EQ(m.Row(4), m.Row(0) + 20);
  for (uint32_t j = 0; j < 5; ++j) m.Row(4)[j] = 1.0;
  EXPECT_EQ(m.GetValue(3, 4), 0.0);
}

// CreateReserved: the capacity (its checks and reports) of Create, storage
// for a 2 x 3 packed layout only; larger layouts within the capacity extend
// the storage and keep every element already in place.
TEST(MatrixPacked, ReservedStorageKeepsTheCapacityAndGrowsWithTheLayout) {
  Matrix m;
  m.CreateReserved(6, 8, 2, 3);
  EXPECT_EQ(m.m_IsAllocated, 1);
  EXPECT_EQ(m.m_MaxRows, 6u);
  EXPECT_EQ(m.m_MaxCols, 8u);
  EXPECT_EQ(m.m_NumRows, 0u);
  ASSERT_EQ(m.ResetMatrixPacked(2, 3), 0);
  for (uint32_t i = 0; i < 2; ++i) {
    for (uint32_t j = 0; j < 3; ++j) m.SetValue(i, j, 10.0 * i + j + 1);
  }
  // Three more rows than reserved, in the same layout: rows 0 and 1 keep
  // their values, the new ones read 0, and row 5 follows at 5 x 3.
  m.SetDimensions(5, 3);
  EXPECT_EQ(m.m_NumRows, 5u);
  EXPECT_EQ(m.GetValue(0, 0), 1.0);
  EXPECT_EQ(m.GetValue(1, 2), 13.0);
  for (uint32_t j = 0; j < 3; ++j) EXPECT_EQ(m.GetValue(4, j), 0.0);
  EXPECT_EQ(m.Row(5), m.Row(0) + 15);
  // The largest layout the capacity admits, 5 x 7 with row 5 addressable.
  ASSERT_EQ(m.ResetMatrixPacked(5, 7), 0);
  for (uint32_t j = 0; j < 7; ++j) m.Row(5)[j] = 1.0;
  for (uint32_t i = 0; i < 5; ++i) {
    for (uint32_t j = 0; j < 7; ++j) EXPECT_EQ(m.GetValue(i, j), 0.0);
  }
  // The capacity stride over every row, as after Create.
  ASSERT_EQ(m.ResetMatrix(5, 7), 0);
  for (uint32_t i = 1; i < 6; ++i) EXPECT_EQ(m.Row(i), m.Row(i - 1) + 8) << i;
  EXPECT_EQ(m.m_ErrorFlag, 0);
  // Refusals name the capacity, not the storage.
  CaptureStdout();
  EXPECT_EQ(m.ResetMatrixPacked(6, 3), 1);
  EXPECT_EQ(GetCapturedStdout(),
            "Reset Matrix : dimensions required [6,3] Max Dimensions [6,8]\n"
            "Error Detected : ResetMatrix : More memory required. Reallocate Max Memory\n");
  EXPECT_EQ(m.m_NumRows, 5u);

  // Every extension leaves row 0 on a 64-byte boundary (a packed row of 8
  // doubles is then one cache line) and every element in place, also when
  // realloc hands back storage of another alignment (the last sizes move
  // the block out of the heap into a mapping of its own).
  Matrix grown;
  grown.CreateReserved(5000, 9, 1, 8);
  uint32_t filled = 0;
  for (uint32_t rows : {1u, 3u, 10u, 40u, 120u, 399u, 2000u, 4999u}) {
    SCOPED_TRACE(rows);
    ASSERT_EQ(rows == 1 ? grown.ResetMatrixPacked(rows, 8) : (grown.SetDimensions(rows, 8), 0), 0);
    ASSERT_EQ(grown.m_NumRows, rows);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(grown.Row(0)) % 64, 0u);
    for (uint32_t i = 0; i < filled; ++i) {
      for (uint32_t j = 0; j < 8; ++j) ASSERT_EQ(grown.GetValue(i, j), 100.0 * i + j + 1) << i << ", " << j;
    }
    for (uint32_t i = filled; i < rows; ++i) {
      for (uint32_t j = 0; j < 8; ++j) grown.SetValue(i, j, 100.0 * i + j + 1);
    }
    filled = rows;
  }
  EXPECT_EQ(grown.m_ErrorFlag, 0);
}

// The block copy moves element by element, row by row, in increasing order,
// also within one matrix: copying rows 0..2 one row down repeats row 0.
TEST(MatrixCopy, OverlappingCopyWithinOneMatrixRunsForward) {
  Matrix m;
  MakeNumbered(m, 5, 6);  // 4 x 5
  EXPECT_EQ(SetSubMatrix(m, 1, 3, 0, 2, m, 0, 2, 0, 2), 0);
  for (uint32_t i = 0; i < 4; ++i) {
    for (uint32_t j = 0; j < 3; ++j) EXPECT_EQ(m.GetValue(i, j), 1.0 + j) << i << "," << j;
  }
  EXPECT_EQ(m.GetValue(3, 3), 34.0);
}

}  // namespace
