# print() and summary() of a run. The period means they show are geometric
# means over the firms of each period of the engine's index numbers, taken
# here for display only (the engine keeps its own for the HTML report); a
# value that is NA, not finite or not positive is left out, as the report
# leaves it out.

print.koru_results <- function(x, ...) {
  cat(trimws(x$summary, which = "right"), "\n", sep = "")
  counts <- x$counts
  cat(sprintf("firms %.0f, periods %.0f, outputs %.0f, inputs %.0f\n",
              counts[["firms"]], counts[["periods"]], counts[["outputs"]], counts[["inputs"]]))
  cat(sprintf("programs solved %.0f, failed %.0f, stopped short %d\n",
              counts[["solved"]], counts[["failed"]], nrow(x$stopped_short)))
  if (!is.null(x$note)) cat(trimws(x$note, which = "right"), "\n", sep = "")
  if (!is.null(x$warning)) cat(trimws(x$warning, which = "right"), "\n", sep = "")
  means <- period_means(x, c("dTFP", "dTech", "dTFPE"))
  if (ncol(means) > 1L) {
    cat("geometric means by period:\n")
    print(means, digits = 4, row.names = FALSE)
  }
  invisible(x)
}

summary.koru_results <- function(object, ...) {
  structure(list(means = period_means(object, NULL), title = object$titles[["indexes"]]),
            class = "summary.koru_results")
}

print.summary.koru_results <- function(x, ...) {
  cat(trimws(x$title), "\ngeometric means by period:\n", sep = "")
  print(x$means, digits = 4, row.names = FALSE)
  invisible(x)
}

# One row per period: the period and the geometric mean of each index column
# (all of them when `columns` is NULL) over the period's firms.
period_means <- function(res, columns) {
  indexes <- res$indexes
  period <- indexes[[2L]]
  values <- indexes[-(1:2)]
  if (!is.null(columns)) values <- values[intersect(columns, names(values))]
  periods <- unique(period)
  group <- match(period, periods)
  cols <- lapply(values, function(v) {
    vapply(seq_along(periods), function(g) {
      usable <- v[group == g & is.finite(v) & v > 0]
      if (length(usable)) exp(mean(log(usable))) else NA_real_
    }, numeric(1))
  })
  out <- c(list(periods), cols)
  names(out) <- c(names(indexes)[2L], names(values))
  as_frame(out, length(periods))
}
