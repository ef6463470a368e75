# The console program and the project's input files, for comparing the
# package with the console program. .ci/run sets both variables; without them
# the comparisons skip.
console_binary <- function() {
  binary <- Sys.getenv("KORU_BINARY")
  if (!nzchar(binary) || !file.exists(binary))
    skip("KORU_BINARY does not name the console program: no comparison with its files")
  normalizePath(binary)
}

source_inputs <- function() {
  root <- Sys.getenv("KORU_SOURCE_DIR")
  if (!nzchar(root) || !dir.exists(file.path(root, "examples")))
    skip("KORU_SOURCE_DIR does not name the KORU source tree: no input files to compare on")
  # The cross-check panels add the price-based families, every technology
  # and windows.
  c(Sys.glob(file.path(root, "examples", "*_input.csv")),
    Sys.glob(file.path(root, "tests", "data", "e2e", "*_input.csv")),
    Sys.glob(file.path(root, "tests", "data", "crosscheck", "*_input.csv")),
    Sys.glob(file.path(root, "tests", "data", "absent", "*_input.csv")))
}

# Runs the console program on a copy of `input` in a fresh directory and
# returns the copy's path; the program's files appear beside it.
run_console <- function(input, args = "--batch") {
  dir <- tempfile("console")
  dir.create(dir)
  copy <- file.path(dir, basename(input))
  file.copy(input, copy)
  owd <- setwd(dir)
  on.exit(setwd(owd))
  output <- suppressWarnings(system2(console_binary(), c(args, shQuote(basename(input))),
                                     stdout = TRUE, stderr = TRUE, stdin = "/dev/null"))
  attr(copy, "console") <- output
  copy
}

file_bytes <- function(path) readBin(path, "raw", file.size(path))

# Values as the result files print them: through single precision, then
# written with the number of decimals (or significant digits, in exponent
# form) of the printed text.
as_single <- function(x) readBin(writeBin(as.vector(x), raw(), size = 4), "double", size = 4, n = length(x))

printed_like <- function(value, text) {
  text <- trimws(text)
  # An infinite value, as C's printf writes it.
  if (is.infinite(value)) return(text == if (value > 0) "inf" else "-inf")
  if (grepl("e", text, fixed = TRUE)) {
    mantissa <- sub("e.*", "", text)
    digits <- nchar(sub("^[^.]*[.]?", "", mantissa))
    ours <- sprintf("%.*e", digits, value)
    return(as.numeric(ours) == as.numeric(text))
  }
  digits <- nchar(sub("^[^.]*[.]?", "", text))
  sprintf("%.*f", digits, value) == text
}

# The data rows of a result file: for each row its value fields after the
# observation number and the two identifiers.
file_rows <- function(path) {
  lines <- readLines(path)
  rows <- grep("^[0-9]+,", lines, value = TRUE)
  lapply(strsplit(rows, ","), function(fields) trimws(fields[-(1:3)]))
}
