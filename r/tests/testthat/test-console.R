# The package against the console program on every shipped input: the same
# bytes in every file, the same values in the data frames.

test_that("read_input, analyze and write_results give the console program's files byte for byte", {
  for (input in source_inputs()) {
    copy <- run_console(input)
    base <- sub("_input[.]csv$", "", copy)
    file <- read_input(input)
    for (threads in c(1, 3)) {
      res <- suppressWarnings(do.call(analyze, c(list(file$data), file$settings, threads = threads)))
      ours <- file.path(tempfile("r"), basename(base))
      dir.create(dirname(ours))
      write_results(res, ours)
      for (suffix in c("indexes.csv", "levels.csv", "shadowprices.csv", "xtras.csv", "xxerrors.txt")) {
        expect_identical(file_bytes(paste0(ours, "_output_", suffix)), file_bytes(paste0(base, "_output_", suffix)),
                         label = paste(basename(input), suffix, "threads", threads))
      }
    }
  }
})

test_that("absent observations as rows of NA or as no rows at all give the input file's bytes", {
  root <- Sys.getenv("KORU_SOURCE_DIR")
  if (!nzchar(root)) skip("KORU_SOURCE_DIR does not name the KORU source tree")
  for (input in Sys.glob(file.path(root, "tests", "data", "absent", "*_input.csv"))) {
    copy <- run_console(input)
    base <- sub("_input[.]csv$", "", copy)
    file <- read_input(input)
    quantities <- file$data[c(file$settings$outputs, file$settings$inputs)]
    absent <- Reduce(`&`, lapply(quantities, is.na))
    expect_equal(sum(absent), 7)
    # Without the rows, firm by firm so that the firms keep their first appearances.
    dropped <- file$data[!absent, ]
    for (frame in list(file$data, dropped[order(dropped$firm, dropped$period), ])) {
      res <- suppressWarnings(do.call(analyze, c(list(frame), file$settings)))
      expect_equal(nrow(res$levels), nrow(file$data) - 7)
      expect_match(res$note, "7 of the 60 observations are absent", fixed = TRUE)
      ours <- file.path(tempfile("r"), basename(base))
      dir.create(dirname(ours))
      write_results(res, ours)
      for (suffix in c("indexes.csv", "levels.csv", "shadowprices.csv", "xtras.csv", "xxerrors.txt"))
        expect_identical(file_bytes(paste0(ours, "_output_", suffix)), file_bytes(paste0(base, "_output_", suffix)),
                         label = paste(basename(input), suffix, nrow(frame)))
    }
  }
})

test_that("the data frames hold the values the files print, NA where they print -9999 or nothing", {
  for (input in source_inputs()) {
    copy <- run_console(input)
    base <- sub("_input[.]csv$", "", copy)
    file <- read_input(input)
    res <- suppressWarnings(do.call(analyze, c(list(file$data), file$settings)))
    frames <- list(indexes.csv = res$indexes, levels.csv = res$levels[names(res$levels) != "max"],
                   shadowprices.csv = res$shadow_prices, xtras.csv = res$extras)
    for (suffix in names(frames)) {
      path <- paste0(base, "_output_", suffix)
      rows <- file_rows(path)
      values <- frames[[suffix]][-(1:2)]
      label <- paste(basename(input), suffix)
      expect_equal(length(rows), nrow(values), label = label)
      heading <- grep(file$settings$identifiers$heading, readLines(path), fixed = TRUE, value = TRUE)
      heading <- trimws(strsplit(heading, ",")[[1]][-(1:3)])
      expect_identical(heading[nzchar(heading)], names(values), label = label)
      # Rows the file prints without values (the first period of a chained
      # family) are NA throughout; the others match value for value.
      empty <- lengths(rows) == 0
      expect_true(all(is.na(as.matrix(values[empty, ]))), label = label)
      printed <- do.call(rbind, lapply(rows[!empty], function(r) r[r != "max"]))
      v <- as.matrix(values[!empty, ])
      ok <- ifelse(is.nan(v), grepl("^-?nan$", printed),
                   ifelse(is.na(v), suppressWarnings(as.numeric(printed)) == -9999,
                          mapply(printed_like, as_single(v), printed)))
      expect_true(all(ok), label = paste(label, ":", paste(head(printed[!ok]), collapse = " ")))
      if (suffix == "levels.csv") {
        marked <- grepl(",max *$", grep("^[0-9]+,", readLines(path), value = TRUE))
        expect_identical(res$levels$max, marked, label = label)
      }
    }
  }
})

test_that("input files the console program stops on stop read_input with its message", {
  header <- "obs,firm,year,y,x\n1,1,1,1,2\n2,2,1,2,2\n3,1,2,2,3\n4,2,2,3,3\n"
  files <- c(window = paste0("Firms 2\nPeriods 2\nOutputs 1\nInputs 1\nWindow 5\nend\n", header),
             prices = paste0("Firms 2\nPeriods 2\nOutputs 1\nInputs 1\nLaspeyres\nend\n", header),
             firms = paste0("Firms 0\nPeriods 2\nOutputs 1\nInputs 1\nend\n", header),
             rows = paste0("Firms 2\nPeriods 2\nOutputs 1\nInputs 1\nend\n", sub("3,1,2", "7,1,2", header)))
  for (name in names(files)) {
    input <- file.path(tempfile("bad"), paste0(name, "_input.csv"))
    dir.create(dirname(input))
    writeLines(files[[name]], input, sep = "")
    console <- paste(attr(run_console(input), "console"), collapse = " ")
    err <- tryCatch(read_input(input), koru_input_error = function(e) conditionMessage(e))
    expect_type(err, "character")
    squeeze <- function(text) gsub("[[:space:]]+", " ", trimws(text))
    expect_true(grepl(squeeze(err), squeeze(console), fixed = TRUE), label = paste(name, ":", err))
  }
})

test_that("bootstrap = B gives the console program's bootstrap file and a frame of the run's estimates", {
  root <- Sys.getenv("KORU_SOURCE_DIR")
  if (!nzchar(root)) skip("KORU_SOURCE_DIR does not name the KORU source tree")
  input <- file.path(root, "tests", "data", "e2e", "us_states_12x8_raw_input.csv")
  copy <- run_console(input, c("--batch", "--bootstrap", "30", "--seed", "11", "--alpha", "0.1", "--malmquist"))
  base <- sub("_input[.]csv$", "", copy)
  file <- read_input(input)
  res <- do.call(analyze, c(list(file$data), file$settings, malmquist = TRUE, bootstrap = 30, seed = 11, alpha = 0.1))
  ours <- file.path(tempfile("r"), basename(base))
  dir.create(dirname(ours))
  write_results(res, ours)
  for (suffix in c("levels.csv", "malmquist.csv", "bootstrap.csv"))
    expect_identical(file_bytes(paste0(ours, "_output_", suffix)), file_bytes(paste0(base, "_output_", suffix)),
                     label = suffix)
  b <- res$bootstrap
  measures <- c("OTE", "ITE", "M_O", "EC_O", "TC_O", "M_I", "EC_I", "TC_I")
  statistics <- c("", "_bc", "_bias", "_se", "_lo", "_hi", "_n")
  expect_identical(names(b), c("firm", "period", paste0(rep(measures, each = 7), statistics)))
  expect_identical(b[1:2], res$levels[1:2])
  expect_identical(b$OTE, res$levels$OTE)
  expect_identical(b$ITE, res$levels$ITE)
  for (m in measures[-(1:2)]) expect_identical(b[[m]], res$malmquist[[m]], label = m)
  for (m in measures) {
    known <- !is.na(b[[m]])
    expect_true(any(known), label = m)
    expect_equal(b[[paste0(m, "_bc")]][known], (b[[m]] - b[[paste0(m, "_bias")]])[known], tolerance = 1e-12)
    expect_true(all(b[[paste0(m, "_lo")]][known] <= b[[paste0(m, "_hi")]][known]), label = m)
  }
  expect_null(do.call(analyze, c(list(file$data), file$settings))$bootstrap)
})
