#pragma once
// Dense row-major matrix of doubles with a capacity fixed at creation and a
// current size that changes within it without moving any data.
//
// Every access through the named operations is tested against the current
// size. A failed test never stops the program: it prints one console line,
// sets the error flag and carries on (a failed read yields 1.0). The simplex
// solver works on the rows directly through m_RowPtrs.
//
// Storage is one block of (m_MaxRows + 1) x (m_MaxCols + 1) doubles; row i
// starts at element i * m_MaxCols, so rows lie back to back with stride
// m_MaxCols whatever the current size. After a successful ResetMatrix or
// SetDimensions the current size is strictly below the capacity, so the
// solver may use one row and one column beyond it.
//
// A matrix that is refilled for every linear program (the constraint matrix
// and the tableau) is better laid out packed: ResetMatrixPacked and
// ResizePacked put its rows back to back with a stride of the current column
// count, so a tall program of a few columns lies in one small block instead
// of one page per row. Such a layout lasts until the next ResetMatrix or
// packed resize; it keeps the row after the last one addressable, as the
// solver needs, and refuses to widen the columns beyond the stride.
//
// A matrix made with CreateReserved has the same capacity (the same checks
// and reports) but storage only for the packed layouts it was reserved for:
// the work objects of the linear programs, whose capacity is square in the
// panel size while one program is tall and narrow or short and wide. A
// layout that passes the capacity checks but needs more than the storage
// holds extends it first (keeping every element), so the results never
// depend on the reservation.

#include <cstddef>
#include <cstdint>

class Matrix {
 public:
  Matrix() = default;
  ~Matrix();
  Matrix(const Matrix&) = delete;
  Matrix& operator=(const Matrix&) = delete;

  // Sets capacity and current size, then obtains zeroed storage.
  void Create(uint32_t maxRows, uint32_t maxCols, uint32_t numRows, uint32_t numCols);

  // Capacity maxRows x maxCols at size 0 x 0, with zeroed storage for the
  // packed layout of a reservedRows x reservedCols matrix (see
  // PackedElements) instead of the whole capacity.
  void CreateReserved(uint32_t maxRows, uint32_t maxCols, uint32_t reservedRows, uint32_t reservedCols);
  // Extends the storage to hold the packed layout of rows x cols; no
  // element moves within the layout. Returns 0, or 1 when storage could not
  // be had.
  int Reserve(uint32_t rows, uint32_t cols);
  // Elements the packed layout of rows x cols needs: its rows, the row
  // after them and one row of margin.
  static std::size_t PackedElements(uint32_t rows, uint32_t cols) {
    return (static_cast<std::size_t>(rows) + 2) * (cols > 0 ? cols : 1);
  }

  void InitializeMemory();
  void FreeMemory();

  double GetValue(uint32_t row, uint32_t col);
  void SetValue(uint32_t row, uint32_t col, double value);
  int ResetMatrix(uint32_t rows, uint32_t cols);
  void SetDimensions(uint32_t rows, uint32_t cols);

  // ResetMatrix with the rows laid out packed (stride cols); the values
  // outside the new region are lost. Same checks, messages and result.
  int ResetMatrixPacked(uint32_t rows, uint32_t cols);
  // The same without zeroing: the region's contents are undefined, for a
  // caller that writes every element of it.
  int ResizePacked(uint32_t rows, uint32_t cols);
  int MultScalar(double x);

  // Unchecked access for loops whose indices are known to be in range.
  double* Row(uint32_t row) { return m_RowPtrs[row]; }
  const double* Row(uint32_t row) const { return m_RowPtrs[row]; }

  // True when rows rowFirst..rowLast and columns colFirst..colLast (inclusive,
  // not empty) all lie within the current size: a loop over them may then use
  // Row() instead of the tested access.
  bool Contains(uint32_t rowFirst, uint32_t rowLast, uint32_t colFirst, uint32_t colLast) const {
    return rowFirst <= rowLast && rowLast < m_NumRows && colFirst <= colLast && colLast < m_NumCols;
  }

  int m_IsAllocated = 0;
  uint32_t m_MaxRows = 0;
  uint32_t m_MaxCols = 0;
  uint32_t m_NumRows = 0;
  uint32_t m_NumCols = 0;
  double** m_RowPtrs = nullptr;
  int m_ErrorFlag = 0;

 private:
  // Checks a new size against the capacity as ResetMatrix does, printing its
  // report on failure; then sets the size and lays the rows out, packed or
  // with the capacity stride. Returns 0 or 1.
  int ResizeWithinCapacity(uint32_t rows, uint32_t cols, bool packed);
  // Points the rows from m_RowsLaidOut up to (not including) `rows` at their
  // place for the current stride.
  // Returns 1 when the storage the rows need could not be had.
  int LayOutRows(uint32_t rows);
  // (m_MaxRows + 1) x (m_MaxCols + 1): the storage Create obtains.
  std::size_t WholeCapacityElements() const;
  // Obtains zeroed storage of `elements` values and the row table, with the
  // capacity stride and no row laid out; on failure reports it, sets the
  // error flag and returns false.
  bool ObtainStorage(std::size_t elements);
  // Extends the block to at least `elements` doubles, zeroing what is new
  // and laying the rows out again; reports and returns 1 on failure.
  int EnsureElements(std::size_t elements);

  // m_Block is the first 64-byte boundary within m_Allocation: a packed
  // row of 8 doubles (the tall tableaus of two outputs and two inputs) then
  // fills one cache line, which a whole-row vector load reads without a split.
  static constexpr std::size_t kAlignmentSlack = 7;  // doubles
  static std::size_t AlignmentOffset(const double* allocation) {
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(allocation);
    return ((64 - address % 64) % 64) / sizeof(double);
  }
  double* m_Allocation = nullptr;  // what calloc/realloc handed out
  double* m_Block = nullptr;
  std::size_t m_BlockElements = 0;  // doubles from m_Block on
  uint32_t m_RowStride = 0;    // elements from one row to the next
  uint32_t m_RowsLaidOut = 0;  // rows 0..m_RowsLaidOut-1 follow m_RowStride
};

// Copies src rows srcRowFirst..srcRowLast, columns srcColFirst..srcColLast
// (inclusive) into dest at (destRowFirst, destColFirst).
int SetSubMatrix(Matrix& dest, uint32_t destRowFirst, uint32_t destRowLast, uint32_t destColFirst,
                 uint32_t destColLast, Matrix& src, uint32_t srcRowFirst, uint32_t srcRowLast,
                 uint32_t srcColFirst, uint32_t srcColLast);

// Copies src rows srcRowFirst..srcRowLast, columns 0..srcColLast into dest
// transposed: source (r, s) goes to dest (destRowFirst + s, r - srcRowFirst).
int SetSubMatrixTransposed(Matrix& dest, Matrix& src, uint32_t srcRowFirst, uint32_t srcRowLast,
                           uint32_t srcColLast, uint32_t destRowFirst, uint32_t destRowLast,
                           uint32_t destColLast);
