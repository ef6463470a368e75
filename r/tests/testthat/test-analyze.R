# analyze() on panels built in R: firms as text, rows in any order, the
# values worked out by hand for three firms in one period, and each refusal
# naming what it refuses.

# Three firms, one period, y = (1, 2, 3), x = (2, 2, 4), variable returns to
# scale, Fare-Primont: the representative observation (q0 = 2, x0 = 8/3) lies
# on the facet y = x/2 + 1, so Q = 3y/7, X = x/2, TFP* = 6/7 (firm b) and
# DOttt = (0.5, 1, 1).
three <- data.frame(farm = c("c", "a", "b"), year = 2001L, y = c(3, 1, 2), x = c(4, 2, 2))

test_that("a panel in a data frame gives the hand-worked values, firms in order of first appearance", {
  res <- analyze(three, firm = "farm", period = "year", outputs = "y", inputs = "x", threads = 1)
  expect_s3_class(res, "koru_results")
  lv <- res$levels
  expect_identical(names(lv)[1:2], c("farm", "year"))
  expect_identical(lv$farm, c("c", "a", "b"))
  expect_identical(lv$year, rep(2001L, 3))
  expect_equal(lv$Q, c(9, 3, 6) / 7, tolerance = 1e-9)
  expect_equal(lv$X, c(2, 1, 1), tolerance = 1e-9)
  expect_equal(lv[["TFP*"]], rep(6 / 7, 3), tolerance = 1e-9)
  expect_identical(lv$max, c(FALSE, FALSE, TRUE))
  expect_equal(res$extras$DOttt, c(1, 0.5, 1), tolerance = 1e-9)
  expect_equal(nrow(res$failed), 0L)
  expect_null(res$warning)
  expect_output(print(res), "dTFP")
  expect_s3_class(summary(res)$means, "data.frame")
})

test_that("rows in another order that keeps each firm's first appearance give identical results", {
  panel <- data.frame(firm = rep(c("n", "s", "e", "w"), times = 3), year = rep(c(2003, 2001, 2002), each = 4),
                      y = c(3, 4, 2, 5, 2, 3, 1, 4, 2.5, 3.5, 1.5, 4.5), x = c(2, 3, 2, 3, 2, 2, 2, 3, 2, 3, 2, 3))
  run <- function(data) analyze(data, "firm", "year", "y", "x", family = "hicks-moorsteen", threads = 1)
  first <- run(panel)
  expect_identical(first$indexes$year, rep(c(2001, 2002, 2003), each = 4))
  shuffled <- panel[c(1:4, 12, 5, 9, 7, 6, 10, 8, 11), ]
  second <- run(shuffled)
  for (table in c("indexes", "levels", "shadow_prices", "extras")) expect_identical(second[[table]], first[[table]])
})

test_that("each bad input stops with a message naming the column and the firm and period", {
  panel <- data.frame(farm = rep(c("north", "south", "east"), 2), year = rep(c(2001, 2002), each = 3),
                      y = c(1, 2, 3, 2, 3, 4), x = c(2, 2, 4, 2, 3, 4), label = "z")
  stops <- function(data, ..., pattern) {
    err <- tryCatch(analyze(data, "farm", "year", "y", "x", ...), error = function(e) e)
    expect_s3_class(err, "error")
    for (p in pattern) expect_match(conditionMessage(err), p, fixed = TRUE)
    err
  }
  # an unbalanced panel whose base is absent
  err <- stops(panel[-4, ], family = "lowe", output_prices = "y", input_prices = "x", base = c("north", "2002"),
               pattern = c("base observation 4", "is absent"))
  expect_s3_class(err, "koru_input_error")
  # a firm without a present observation (every quantity NA)
  broken <- panel
  broken$y[c(3, 6)] <- NA
  broken$x[c(3, 6)] <- NA
  stops(broken, pattern = c("firm 3", "has no present observation"))
  # a (firm, period) pair twice
  stops(rbind(panel, panel[2, ]), pattern = c("south", "2001"))
  # quantities that are not finite
  for (bad in c(NA, NaN, Inf)) {
    broken <- panel
    broken$x[5] <- bad
    stops(broken, pattern = c("x", "south", "2002"))
  }
  # a column that is not numeric
  broken <- panel
  broken$y <- as.character(broken$y)
  broken$y[4] <- "2a"
  stops(broken, pattern = c("'y'", "north", "2002", "2a"))
  expect_error(analyze(panel, "farm", "year", "label", "x"), "'label'")
  expect_error(analyze(panel, "farm", "year", "gsp", "x"), "gsp")
  # unknown settings, a base outside the panel, a window longer than the panel
  stops(panel, family = "tornqvist", pattern = c("tornqvist", "hicks-moorsteen"))
  stops(panel, rts = "irs", pattern = c("irs", "crs"))
  stops(panel, technology = "regress", pattern = c("regress", "no-change"))
  stops(panel, base = c("west", 2001), pattern = c("west", "2001"))
  stops(panel, base = c("south", 1999), pattern = c("south", "1999"))
  stops(panel, window = 3, pattern = "window")
})

test_that("an interrupt ends a long run within a second", {
  skip_on_os("windows")
  # 4000 observations under no technical change with one worker: a run of
  # many seconds, so the interrupt sent after one second finds it working.
  set.seed(22)
  n <- 400
  periods <- 10
  size <- rep(exp(rnorm(n, 0, 0.5)), periods)
  panel <- data.frame(firm = rep(seq_len(n), periods), year = rep(seq_len(periods), each = n),
                      y1 = size * exp(rnorm(n * periods, 0, 0.2)), y2 = size * exp(rnorm(n * periods, 0, 0.2)),
                      x1 = size * exp(rnorm(n * periods, 0, 0.2)), x2 = size * exp(rnorm(n * periods, 0, 0.2)))
  # system() puts the command in the background itself.
  system(sprintf("(sleep 1; kill -INT %d) >/dev/null 2>&1", Sys.getpid()), wait = FALSE)
  started <- proc.time()[["elapsed"]]
  ended <- tryCatch({
    analyze(panel, "firm", "year", c("y1", "y2"), c("x1", "x2"), family = "hicks-moorsteen",
            technology = "no-change", threads = 1)
    NA
  }, interrupt = function(e) proc.time()[["elapsed"]])
  expect_false(is.na(ended))
  expect_lt(ended - started, 2)
})

# The three firms over two periods: (x, y) = (2, 1), (2, 2), (4, 3) in 2001
# and (1, 1), (2, 3), (4, 4) in 2002. By hand (variable returns): firm a's
# 2002 input lies below every 2001 combination (DOtts missing), firm c's
# 2002 output above every one (DItts missing); M_O of firm b = 1.5,
# M_I = sqrt(8/3); under constant returns M_O = 2, 1.5, 4/3.
two <- data.frame(farm = rep(c("a", "b", "c"), 2), year = rep(2001:2002, each = 3),
                  y = c(1, 2, 3, 1, 3, 4), x = c(2, 2, 4, 1, 2, 4))

test_that("malmquist = TRUE gives the hand-worked index, NA outside the other period's technology", {
  res <- analyze(two, "farm", "year", "y", "x", malmquist = TRUE, threads = 1)
  m <- res$malmquist
  expect_identical(names(m)[1:9], c("farm", "year", "DOsss", "DOtts", "DOsst", "DOttt", "M_O", "EC_O", "TC_O"))
  expect_true(all(is.na(unlist(m[m$year == 2001, -(1:2)]))))
  later <- m[m$year == 2002, ]
  expect_equal(later$DOtts, c(NA, 1.5, 4 / 3), tolerance = 1e-9)
  expect_equal(later$M_I, c(2, sqrt(8 / 3), NA), tolerance = 1e-9)
  expect_equal(later$M_O_crs, c(2, 1.5, 4 / 3), tolerance = 1e-9)
  expect_equal(later$SEC_O, c(2 / 3, 1, 8 / 9), tolerance = 1e-9)
  expect_equal(nrow(res$failed), 0L)
  expect_equal(unname(res$counts["malmquist_outside"]), 2)
  expect_match(res$note, "2 cross-period distances")
  expect_null(analyze(two, "farm", "year", "y", "x", rts = "ndrs", threads = 1)$malmquist)
  ndrs <- analyze(two, "farm", "year", "y", "x", rts = "ndrs", malmquist = TRUE, threads = 1)
  expect_identical(ndrs$settings$rts, "ndrs")
  # NDRS: firm c of 2001 is measured as under constant returns (its output
  # 3 at input 4 against twice firm b's 2 at 2), so DOsss = HOsss = 0.75.
  expect_equal(ndrs$malmquist$DOsss[6], 0.75, tolerance = 1e-9)
})

# The same three firms with peers: firm a (x 2, y 1) is expanded onto firm b
# (phi = 2, lambda 1); input-oriented it is on the frontier (theta = 1) and
# the second stage moves it to b with an output slack of 1; b and c are
# their own peers.
test_that("peers = TRUE gives the hand-worked peers, slacks and targets with the data's labels", {
  res <- analyze(three, firm = "farm", period = "year", outputs = "y", inputs = "x", threads = 1, peers = TRUE)
  p <- res$peers
  expect_identical(names(p), c("firm", "period", "orientation", "peer_firm", "peer_period", "lambda", "lambda2"))
  a_out <- p[p$firm == "a" & p$orientation == "output", ]
  expect_identical(a_out$peer_firm, "b")
  expect_identical(a_out$peer_period, 2001L)
  expect_equal(a_out$lambda, 1, tolerance = 1e-9)
  expect_equal(a_out$lambda2, 1, tolerance = 1e-9)
  for (f in c("b", "c")) expect_identical(unique(p$peer_firm[p$firm == f]), f)
  t <- res$targets
  expect_identical(names(t), c("firm", "period", "orientation", "slack_y", "slack_x", "target_y", "target_x"))
  a_in <- t[t$firm == "a" & t$orientation == "input", ]
  expect_equal(unlist(a_in[, 4:7]), c(slack_y = 1, slack_x = 0, target_y = 2, target_x = 2), tolerance = 1e-9)
  a_out_t <- t[t$firm == "a" & t$orientation == "output", ]
  expect_equal(unlist(a_out_t[, 4:7]), c(slack_y = 0, slack_x = 0, target_y = 2, target_x = 2), tolerance = 1e-9)
  expect_null(analyze(three, firm = "farm", period = "year", outputs = "y", inputs = "x", threads = 1)$peers)
})
