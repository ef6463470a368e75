# The engine's files: result files and report written from a run's results,
# and input files read into a data frame and the settings of their run.

write_results <- function(res, base) {
  engine_call(koru_write_result_files(engine_of(res), one_string(base, "base")))
  invisible(base)
}

report <- function(res, path) {
  engine_call(koru_write_report(engine_of(res), one_string(path, "path")))
  invisible(path)
}

read_input <- function(path) {
  path <- one_string(path, "path")
  file <- engine_call(koru_read_input_file(path))
  panel <- file$panel
  n <- panel$firms
  t <- panel$periods
  variables <- c(panel$outputs, panel$inputs, panel$output_prices, panel$input_prices)
  names(variables) <- variable_names(path, file$panel)

  data <- c(list(firm = rep(seq_len(n), times = t), period = rep(seq_len(t), each = n),
                 id1 = panel$id1, id2 = panel$id2), variables)
  data <- as_frame(data, n * t)
  # The rows of absent observations (every quantity -9999 in the file) hold NA.
  for (name in names(variables)) data[[name]][!panel$present] <- NA_real_

  m <- length(panel$outputs)
  k <- length(panel$inputs)
  mp <- length(panel$output_prices)
  kp <- length(panel$input_prices)
  picked <- function(from, count) if (count) names(variables)[from + seq_len(count)] else NULL
  settings <- file$settings
  list(
    data = data,
    settings = list(
      firm = "firm", period = "period",
      outputs = picked(0L, m), inputs = picked(m, k),
      output_prices = picked(m + k, mp), input_prices = picked(m + k + mp, kp),
      family = settings$family, rts = settings$rts, technology = settings$technology,
      window = settings$window, base = settings$base, unit_means = settings$unit_means,
      identifiers = list(columns = c("id1", "id2"), heading = panel$id_heading)
    ),
    console = file$console
  )
}

# Names for the variables of an input file: the fields of its header line
# (the line after the command section's "end") after the third comma; y1..,
# x1.., p1.., w1.. for a name that is missing, repeated or taken by the
# firm, period and identifier columns, and all of them should the names
# still clash.
variable_names <- function(path, panel) {
  m <- length(panel$outputs)
  k <- length(panel$inputs)
  mp <- length(panel$output_prices)
  kp <- length(panel$input_prices)
  fallback <- c(sprintf("y%d", seq_len(m)), sprintf("x%d", seq_len(k)),
                sprintf("p%d", seq_len(mp)), sprintf("w%d", seq_len(kp)))
  lines <- readLines(path, warn = FALSE, encoding = "UTF-8")
  if (length(lines)) lines[1L] <- sub("^\ufeff", "", lines[1L])
  end <- which(startsWith(lines, "end"))
  if (!length(end) || end[1L] >= length(lines)) return(fallback)
  fields <- trimws(strsplit(sub("\r$", "", lines[end[1L] + 1L]), ",", fixed = TRUE)[[1L]])[-(1:3)]
  fields <- c(fields, rep("", length(fallback)))[seq_along(fallback)]
  fields[is.na(fields)] <- ""
  repeated <- fields %in% fields[duplicated(fields)]
  names <- ifelse(nzchar(fields) & !repeated & !fields %in% c("firm", "period", "id1", "id2"), fields, fallback)
  if (anyDuplicated(names)) fallback else names
}

engine_of <- function(res) {
  if (!inherits(res, "koru_results")) stop("res must be the result of koru::analyze", call. = FALSE)
  res$engine
}
