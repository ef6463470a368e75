# analyze(): a data frame in, the engine's results out. The R side only
# arranges the rows for the engine (codes for the firms and periods, one
# numeric vector per variable) and turns the engine's tables into data
# frames; every number, column heading and refusal comes from the engine.

analyze <- function(data, firm, period, outputs, inputs,
                    output_prices = NULL, input_prices = NULL,
                    family = "fare-primont", rts = "vrs", technology = "each-period",
                    window = 1, base = NULL, unit_means = FALSE, threads = NULL,
                    identifiers = NULL, single_solve = FALSE, malmquist = FALSE, peers = FALSE,
                    bootstrap = 0, seed = 1, alpha = 0.05) {
  if (!is.data.frame(data)) input_error("data must be a data.frame")
  firm <- column_name(data, firm, "firm")
  period <- column_name(data, period, "period")
  firm_values <- data[[firm]]
  period_values <- data[[period]]
  no_label(firm_values, firm)
  no_label(period_values, period)

  # Firms in the order of their first appearance, periods sorted (in the C
  # locale for text, so the order does not depend on the session's locale).
  firms <- unique(firm_values)
  periods <- sort(unique(period_values), method = "radix")
  firm_code <- match(firm_values, firms)
  period_code <- match(period_values, periods)

  ids <- list(firm = firm, period = period, firm_values = firm_values, period_values = period_values)
  output_columns <- numeric_columns(data, outputs, "outputs", ids)
  input_columns <- numeric_columns(data, inputs, "inputs", ids)
  # A row whose every quantity is NA is an absent observation, as is a
  # (firm, period) pair without a row.
  quantities <- c(output_columns, input_columns)
  keep <- if (length(quantities)) !Reduce(`&`, lapply(quantities, is.na)) else rep(TRUE, nrow(data))
  kept <- function(cols) lapply(cols, function(v) v[keep])
  rows <- list(
    firm_labels = label_text(firms), period_labels = label_text(periods),
    firm = firm_code[keep] - 1L, period = period_code[keep] - 1L,
    firm_column = firm, period_column = period,
    outputs = kept(output_columns),
    inputs = kept(input_columns),
    output_prices = kept(numeric_columns(data, output_prices, "output_prices", ids)),
    input_prices = kept(numeric_columns(data, input_prices, "input_prices", ids)),
    id1 = NULL, id2 = NULL, id_heading = NULL
  )
  if (!is.null(identifiers)) {
    if (!is.list(identifiers) || length(identifiers$columns) != 2L || !is.character(identifiers$heading) ||
        length(identifiers$heading) != 1L)
      input_error("identifiers must be NULL or list(columns = <two column names>, heading = <one string>)")
    id_columns <- numeric_columns(data, identifiers$columns, "identifiers", ids)
    rows$id1 <- id_columns[[1L]][keep]
    rows$id2 <- id_columns[[2L]][keep]
    rows$id_heading <- identifiers$heading
  }

  options <- list(
    family = if (is.null(family)) NULL else one_string(family, "family"),
    rts = one_string(rts, "rts"),
    technology = one_string(technology, "technology"),
    window = whole_number(window, "window"),
    base = base_codes(base, firms, periods, firm, period),
    unit_means = one_flag(unit_means, "unit_means"),
    threads = if (is.null(threads)) 0L else whole_number(threads, "threads"),
    single_solve = one_flag(single_solve, "single_solve"),
    malmquist = one_flag(malmquist, "malmquist"),
    peers = one_flag(peers, "peers"),
    bootstrap = whole_number(bootstrap, "bootstrap"),
    seed = seed_number(seed),
    alpha = one_number(alpha, "alpha")
  )

  out <- engine_call(koru_analyze_rows(rows, options))
  res <- results_from_engine(out, firms, periods, firm, period, outputs, inputs)
  if (!is.null(res$warning)) warning(trimws(res$warning), call. = FALSE)
  res
}

# The engine's tables as data frames: the firm and the period (their
# original values and types) first, then one column per heading; one row
# per present observation.
results_from_engine <- function(out, firms, periods, firm, period, outputs = NULL, inputs = NULL) {
  n <- length(firms)
  t <- length(periods)
  obs_firm <- firms[rep(seq_len(n), times = t)]
  obs_period <- periods[rep(seq_len(t), each = n)]
  present <- out$present
  frame <- function(table, extra = NULL) {
    cols <- lapply(c(list(obs_firm, obs_period), table$columns, extra), function(v) v[present])
    names(cols) <- c(firm, period, table$headings, names(extra))
    as_frame(cols, sum(present))
  }
  notes <- function(list_of_notes, value) {
    o <- list_of_notes$observation
    known <- o > 0
    f <- obs_firm[ifelse(known, o, NA)]
    p <- obs_period[ifelse(known, o, NA)]
    cols <- list(f, p, list_of_notes$program, list_of_notes[[value]])
    names(cols) <- c(firm, period, "program", value)
    as_frame(cols, length(o))
  }
  # With peers: one row per observation, orientation and peer, and one per
  # observation and orientation with its slacks and targets, labelled with
  # the data's firm and period values.
  peer_frames <- function() {
    if (is.null(out$peers)) return(list(peers = NULL, targets = NULL))
    p <- out$peers
    cols <- list(obs_firm[p$observation], obs_period[p$observation], p$orientation,
                 obs_firm[p$peer], obs_period[p$peer], p$lambda, p$lambda2)
    names(cols) <- p$columns
    t <- out$targets
    key <- list(obs_firm[t$observation], obs_period[t$observation], t$orientation)
    names(key) <- t$columns
    values <- t$values
    names(values) <- koru_target_headings(as.character(outputs), as.character(inputs))
    list(peers = as_frame(cols, length(p$observation)),
         targets = as_frame(c(key, values), length(t$observation)))
  }
  peer_tables <- peer_frames()
  structure(
    list(
      indexes = frame(out$indexes),
      levels = frame(out$levels, list(max = out$at_max_tfp)),
      shadow_prices = frame(out$shadow_prices),
      extras = frame(out$extras),
      malmquist = if (is.null(out$malmquist)) NULL else frame(out$malmquist),
      bootstrap = if (is.null(out$bootstrap)) NULL else frame(out$bootstrap),
      representative = out$representative,
      failed = notes(out$failed, "code"),
      stopped_short = notes(out$stopped_short, "gain"),
      peers = peer_tables$peers,
      targets = peer_tables$targets,
      note = if (nzchar(out$note)) out$note else NULL,
      warning = if (nzchar(out$warning)) out$warning else NULL,
      settings = out$settings,
      counts = out$counts,
      summary = out$summary,
      console = out$console,
      titles = c(indexes = out$indexes$title, levels = out$levels$title,
                 shadow_prices = out$shadow_prices$title, extras = out$extras$title),
      engine = out$engine
    ),
    class = "koru_results"
  )
}

as_frame <- function(cols, rows) {
  structure(cols, class = "data.frame", row.names = .set_row_names(rows))
}

# The engine's refusals as R errors of class koru_input_error (a panel or
# setting it refuses) or koru_write_error (a file it could not write).
engine_call <- function(out) {
  if (inherits(out, "koru_failure")) raise(out$kind, trimws(out$message), sys.call(-1L))
  out
}

# Arguments refused before they reach the engine (a column that is missing or
# not numeric, a base outside the panel) are input errors as well.
input_error <- function(...) raise("input", sprintf(...), NULL)

raise <- function(kind, message, call) {
  stop(structure(class = c(paste0("koru_", kind, "_error"), "error", "condition"),
                 list(message = message, call = call)))
}

column_name <- function(data, name, what) {
  if (!is.character(name) || length(name) != 1L || is.na(name))
    input_error("%s must name one column of data", what)
  if (!name %in% names(data))
    input_error("%s: data has no column '%s'", what, name)
  name
}

no_label <- function(values, name) {
  missing <- which(is.na(values))
  if (length(missing))
    input_error("column '%s' has no value in row %d", name, missing[1L])
}

# Labels as the engine receives them: their text (numbers with 15
# significant digits, as R prints them).
label_text <- function(values) as.character(values)

# The columns named by `names` as a named list of double vectors. A column
# that is not numeric is refused, naming its first value that is not a number
# with the firm and period of its row.
numeric_columns <- function(data, names, what, ids) {
  if (is.null(names)) return(list())
  if (!is.character(names) || anyNA(names))
    input_error("%s must be a character vector of column names", what)
  absent <- setdiff(names, names(data))
  if (length(absent))
    input_error("%s: data has no column '%s'", what, absent[1L])
  cols <- lapply(names, function(name) {
    v <- data[[name]]
    if (!is.numeric(v) || is.factor(v)) {
      text <- as.character(v)
      bad <- which(is.na(suppressWarnings(as.numeric(text))) & !is.na(text))
      where <- if (length(bad)) bad[1L] else 1L
      input_error("column '%s' is not numeric (%s value \"%s\") for %s '%s' in %s '%s'", name, class(v)[1L],
                  text[where], ids$firm, ids$firm_values[where], ids$period, ids$period_values[where])
    }
    as.double(v)
  })
  names(cols) <- names
  cols
}

one_string <- function(value, what) {
  if (!is.character(value) || length(value) != 1L || is.na(value))
    input_error("%s must be one string", what)
  value
}

one_flag <- function(value, what) {
  if (!is.logical(value) || length(value) != 1L || is.na(value))
    input_error("%s must be TRUE or FALSE", what)
  value
}

whole_number <- function(value, what) {
  if (!is.numeric(value) || length(value) != 1L || is.na(value) || value != round(value) ||
      value < 0 || value > .Machine$integer.max)
    input_error("%s must be a whole number", what)
  as.integer(value)
}

one_number <- function(value, what) {
  if (!is.numeric(value) || length(value) != 1L || is.na(value))
    input_error("%s must be one number", what)
  as.double(value)
}

# The random streams' seed: a whole number R holds exactly in a double.
seed_number <- function(value) {
  if (!is.numeric(value) || length(value) != 1L || is.na(value) || value != round(value) ||
      value < 0 || value > 2^53)
    input_error("seed must be a whole number from 0 to 2^53")
  as.double(value)
}

# The base observation as 0-based codes of its firm and period.
base_codes <- function(base, firms, periods, firm, period) {
  if (is.null(base)) return(NULL)
  if (length(base) != 2L)
    input_error("base must be NULL or c(firm, period)")
  f <- match(base[[1L]], firms)
  p <- match(base[[2L]], periods)
  if (is.na(f) || is.na(p))
    input_error("base: %s '%s' in %s '%s' is not in the panel (no such %s)", firm, base[[1L]], period, base[[2L]],
                if (is.na(f)) firm else period)
  c(f - 1L, p - 1L)
}
