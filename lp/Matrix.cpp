#include "lp/Matrix.h"

#include <cstdlib>
#include <cstring>

#include "core/Format.h"

namespace {

void ReportError(const char* what) { ConsolePrintf("Error Detected : %s\n", what); }

}  // namespace

Matrix::~Matrix() { FreeMemory(); }

void Matrix::Create(uint32_t maxRows, uint32_t maxCols, uint32_t numRows, uint32_t numCols) {
  FreeMemory();
  m_MaxRows = maxRows;
  m_MaxCols = maxCols;
  m_NumRows = numRows;
  m_NumCols = numCols;
  InitializeMemory();
}

void Matrix::InitializeMemory() {
  m_ErrorFlag = 0;
  std::free(m_Allocation);
  std::free(m_RowPtrs);
  m_Allocation = nullptr;
  m_Block = nullptr;
  m_RowPtrs = nullptr;
  m_IsAllocated = 0;
  // calloc hands out zeroed storage; large blocks come as untouched pages, so
  // a capacity that is never used costs no time and no resident memory.
  if (!ObtainStorage(WholeCapacityElements())) return;
  LayOutRows(m_MaxRows);
}

bool Matrix::ObtainStorage(std::size_t elements) {
  m_RowPtrs = static_cast<double**>(std::calloc(m_MaxRows > 0 ? m_MaxRows : 1, sizeof(double*)));
  m_Allocation = static_cast<double*>(std::calloc(elements + kAlignmentSlack, sizeof(double)));
  if (m_Allocation == nullptr || m_RowPtrs == nullptr) {
    std::free(m_Allocation);
    std::free(m_RowPtrs);
    m_Allocation = nullptr;
    m_Block = nullptr;
    m_RowPtrs = nullptr;
    ReportError("InitializeMemory");
    m_ErrorFlag = 1;
    return false;
  }
  m_Block = m_Allocation + AlignmentOffset(m_Allocation);
  m_BlockElements = elements;
  m_RowStride = m_MaxCols;
  m_RowsLaidOut = 0;
  m_IsAllocated = 1;
  return true;
}

void Matrix::CreateReserved(uint32_t maxRows, uint32_t maxCols, uint32_t reservedRows, uint32_t reservedCols) {
  FreeMemory();
  m_MaxRows = maxRows;
  m_MaxCols = maxCols;
  m_NumRows = 0;
  m_NumCols = 0;
  m_ErrorFlag = 0;
  std::size_t elements = PackedElements(reservedRows, reservedCols);
  if (elements > WholeCapacityElements()) elements = WholeCapacityElements();
  // The capacity stride, as after Create; no row is laid out until a size
  // is set, and each layout obtains the storage it needs.
  ObtainStorage(elements);
}

int Matrix::Reserve(uint32_t rows, uint32_t cols) {
  if (m_Block == nullptr) return 1;
  std::size_t elements = PackedElements(rows, cols);
  if (elements > WholeCapacityElements()) elements = WholeCapacityElements();
  return elements > m_BlockElements ? EnsureElements(elements) : 0;
}

std::size_t Matrix::WholeCapacityElements() const {
  return (static_cast<std::size_t>(m_MaxRows) + 1) * (static_cast<std::size_t>(m_MaxCols) + 1);
}

int Matrix::EnsureElements(std::size_t elements) {
  const std::size_t oldOffset = static_cast<std::size_t>(m_Block - m_Allocation);
  double* allocation = static_cast<double*>(std::realloc(m_Allocation, (elements + kAlignmentSlack) * sizeof(double)));
  if (allocation == nullptr) {
    ReportError("InitializeMemory");
    m_ErrorFlag = 1;
    return 1;
  }
  // realloc keeps the bytes, not their alignment: the elements move to the
  // new block's aligned start when it lies elsewhere.
  double* block = allocation + AlignmentOffset(allocation);
  if (block != allocation + oldOffset) std::memmove(block, allocation + oldOffset, m_BlockElements * sizeof(double));
  for (std::size_t e = m_BlockElements; e < elements; ++e) block[e] = 0.0;
  m_Allocation = allocation;
  m_Block = block;
  m_BlockElements = elements;
  // The laid-out rows move with the block; rows beyond them point nowhere
  // until a layout reaches them.
  const uint32_t laidOut = m_RowsLaidOut;
  m_RowsLaidOut = 0;
  LayOutRows(laidOut);
  for (uint32_t i = laidOut; i < m_MaxRows; ++i) m_RowPtrs[i] = nullptr;
  return 0;
}

void Matrix::FreeMemory() {
  std::free(m_Allocation);
  std::free(m_RowPtrs);
  m_Allocation = nullptr;
  m_Block = nullptr;
  m_RowPtrs = nullptr;
  m_IsAllocated = 0;
  m_BlockElements = 0;
  m_RowStride = 0;
  m_RowsLaidOut = 0;
}

int Matrix::LayOutRows(uint32_t rows) {
  if (m_RowPtrs == nullptr) return 1;  // storage was not obtained
  if (rows <= m_RowsLaidOut) return 0;
  // The rows and one row of margin must lie within the block. A matrix
  // made with Create always has them (rows <= m_MaxRows, stride <= m_MaxCols).
  const std::size_t needed = (static_cast<std::size_t>(rows) + 1) * m_RowStride;
  if (needed > m_BlockElements && EnsureElements(needed) != 0) return 1;
  for (uint32_t i = m_RowsLaidOut; i < rows; ++i) m_RowPtrs[i] = m_Block + static_cast<std::size_t>(i) * m_RowStride;
  m_RowsLaidOut = rows;
  return 0;
}

double Matrix::GetValue(uint32_t row, uint32_t col) {
  if (row < m_NumRows && col < m_NumCols) return m_RowPtrs[row][col];
  ReportError("GetValue");
  m_ErrorFlag = 1;
  return 1.0;
}

void Matrix::SetValue(uint32_t row, uint32_t col, double value) {
  if (row < m_NumRows && col < m_NumCols) {
    m_RowPtrs[row][col] = value;
    return;
  }
  ReportError("SetValue");
  m_ErrorFlag = 1;
}

int Matrix::ResizeWithinCapacity(uint32_t rows, uint32_t cols, bool packed) {
  if (rows >= m_MaxRows || cols >= m_MaxCols) {
    ConsolePrintf("Reset Matrix : dimensions required [%d,%d] Max Dimensions [%d,%d]\n", static_cast<int>(rows),
                  static_cast<int>(cols), static_cast<int>(m_MaxRows), static_cast<int>(m_MaxCols));
    ReportError("ResetMatrix : More memory required. Reallocate Max Memory");
    m_ErrorFlag = 1;
    return 1;
  }
  const uint32_t stride = packed ? (cols > 0 ? cols : 1) : m_MaxCols;
  if (stride != m_RowStride) {
    m_RowStride = stride;
    m_RowsLaidOut = 0;
  }
  // Packed: the rows in use and the one after them (rows < m_MaxRows). Each
  // row then ends within the block, since stride <= m_MaxCols. Storage that
  // cannot be extended leaves the size as it was.
  if (LayOutRows(packed ? rows + 1 : m_MaxRows) != 0) return 1;
  m_NumRows = rows;
  m_NumCols = cols;
  return 0;
}

int Matrix::ResetMatrix(uint32_t rows, uint32_t cols) {
  if (ResizeWithinCapacity(rows, cols, false) != 0) return 1;
  for (uint32_t i = 0; i < rows; ++i) {
    double* row = m_RowPtrs[i];
    for (uint32_t j = 0; j < cols; ++j) row[j] = 0.0;
  }
  return 0;
}

int Matrix::ResizePacked(uint32_t rows, uint32_t cols) { return ResizeWithinCapacity(rows, cols, true); }

int Matrix::ResetMatrixPacked(uint32_t rows, uint32_t cols) {
  if (ResizeWithinCapacity(rows, cols, true) != 0) return 1;
  // The region is one run of rows x cols elements from row 0 on.
  const std::size_t elements = static_cast<std::size_t>(rows) * cols;
  if (elements == 0) return 0;
  double* region = m_RowPtrs[0];
  for (std::size_t e = 0; e < elements; ++e) region[e] = 0.0;
  return 0;
}

void Matrix::SetDimensions(uint32_t rows, uint32_t cols) {
  if (rows >= m_MaxRows) {
    ConsolePrintf("m_NumRows=%d,m_NumCols=%d\n", static_cast<int>(m_NumRows), static_cast<int>(m_NumCols));
    ConsolePrintf("pNumRows=%d,pNumCols=%d\n", static_cast<int>(rows), static_cast<int>(cols));
    ReportError("SetDimensions");
    m_ErrorFlag = 1;
    return;
  }
  // A packed layout cannot widen beyond its stride (the rows would overlap);
  // with the capacity stride this is the capacity test itself.
  if (cols < m_MaxCols && cols <= m_RowStride && LayOutRows(rows + 1) == 0) {
    m_NumRows = rows;
    m_NumCols = cols;
  }
}

int Matrix::MultScalar(double x) {
  for (uint32_t i = 0; i < m_NumRows; ++i) {
    double* row = m_RowPtrs[i];
    for (uint32_t j = 0; j < m_NumCols; ++j) row[j] = row[j] * x;
  }
  return 0;
}

int SetSubMatrix(Matrix& dest, uint32_t destRowFirst, uint32_t destRowLast, uint32_t destColFirst,
                 uint32_t destColLast, Matrix& src, uint32_t srcRowFirst, uint32_t srcRowLast,
                 uint32_t srcColFirst, uint32_t srcColLast) {
  if (srcRowLast - srcRowFirst != destRowLast - destRowFirst) {
    ReportError("SetSubMatrix");
    dest.m_ErrorFlag = 1;
    return 1;
  }
  if (srcColLast - srcColFirst != destColLast - destColFirst) return 0;
  if (src.Contains(srcRowFirst, srcRowLast, srcColFirst, srcColLast) &&
      dest.Contains(destRowFirst, destRowLast, destColFirst, destColLast)) {
    // Every element in range: the same copies in the same order, untested.
    const uint32_t cols = srcColLast - srcColFirst + 1;
    for (uint32_t r = srcRowFirst; r <= srcRowLast; ++r) {
      const double* from = src.Row(r) + srcColFirst;
      double* to = dest.Row(destRowFirst + r - srcRowFirst) + destColFirst;
      for (uint32_t k = 0; k < cols; ++k) to[k] = from[k];
    }
    return 0;
  }
  for (uint32_t r = srcRowFirst; r <= srcRowLast; ++r) {
    for (uint32_t k = srcColFirst; k <= srcColLast; ++k) {
      double v = src.GetValue(r, k);
      dest.SetValue(destRowFirst + r - srcRowFirst, destColFirst + k - srcColFirst, v);
      if (k == srcColLast) break;  // guards an inclusive range ending at the largest index
    }
    if (r == srcRowLast) break;
  }
  return 0;
}

int SetSubMatrixTransposed(Matrix& dest, Matrix& src, uint32_t srcRowFirst, uint32_t srcRowLast,
                           uint32_t srcColLast, uint32_t destRowFirst, uint32_t destRowLast,
                           uint32_t destColLast) {
  if (srcRowLast - srcRowFirst != destColLast) {
    std::string text = FormatText(
        "SetSubMatrixTransposed : matrix dimension mismatch : Source dimensions [%d,%d] destination dimensions "
        "[%d,%d]",
        static_cast<int>(srcRowLast - srcRowFirst), static_cast<int>(srcColLast),
        static_cast<int>(destRowLast - destRowFirst), static_cast<int>(destColLast));
    ReportError(text.c_str());
    dest.m_ErrorFlag = 1;
    return 1;
  }
  if (srcColLast != destRowLast - destRowFirst) return 0;
  if (src.Contains(srcRowFirst, srcRowLast, 0, srcColLast) &&
      dest.Contains(destRowFirst, destRowLast, 0, destColLast)) {
    // Every element in range: the same copies in the same order, untested.
    for (uint32_t r = srcRowFirst; r <= srcRowLast; ++r) {
      const double* from = src.Row(r);
      const uint32_t col = r - srcRowFirst;
      for (uint32_t s = 0; s <= srcColLast; ++s) dest.Row(destRowFirst + s)[col] = from[s];
    }
    return 0;
  }
  for (uint32_t r = srcRowFirst; r <= srcRowLast; ++r) {
    for (uint32_t s = 0; s <= srcColLast; ++s) {
      double v = src.GetValue(r, s);
      dest.SetValue(destRowFirst + s, r - srcRowFirst, v);
      if (s == srcColLast) break;
    }
    if (r == srcRowLast) break;
  }
  return 0;
}
