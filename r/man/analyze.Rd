\name{analyze}
\alias{analyze}
\title{Decompose Productivity Change of a Panel of Firms}
\description{
Runs KORU on a panel held in a data frame: one row per firm and period, the
outputs and inputs (and optionally their prices) in numeric columns.
}
\usage{
analyze(data, firm, period, outputs, inputs,
        output_prices = NULL, input_prices = NULL,
        family = "fare-primont", rts = "vrs", technology = "each-period",
        window = 1, base = NULL, unit_means = FALSE, threads = NULL,
        identifiers = NULL, single_solve = FALSE, malmquist = FALSE, peers = FALSE,
        bootstrap = 0, seed = 1, alpha = 0.05)
}
\arguments{
  \item{data}{a data frame, one row per firm and period, in any order. A
    (firm, period) pair without a row, or a row whose every quantity is
    \code{NA}, is an absent observation: in no reference set, in no result
    table and left out of the files; \code{res$note} says how many there are.}
  \item{firm, period}{names of the columns identifying the firm and the
    period (numbers, strings or factors). Firms are numbered in the order of
    their first appearance in \code{data}, periods in sorted order (strings
    in the C locale, factors by their levels). Every firm and every period
    needs a present observation.}
  \item{outputs, inputs}{names of the numeric columns holding the output and
    input quantities.}
  \item{output_prices, input_prices}{\code{NULL} or names of the numeric
    columns holding the output and input prices, one per output and input.}
  \item{family}{the index family: \code{"laspeyres"}, \code{"paasche"},
    \code{"fisher"}, \code{"lowe"}, \code{"malmquist-hs"},
    \code{"malmquist-it"}, \code{"hicks-moorsteen"} or
    \code{"fare-primont"}; \code{NULL} takes the input file's default
    (Fare-Primont, or Lowe with prices).}
  \item{rts}{returns to scale: \code{"vrs"} (variable), \code{"crs"}
    (constant), \code{"nirs"} (non-increasing: the reference combinations
    may be scaled down) or \code{"ndrs"} (non-decreasing: scaled up).}
  \item{technology}{\code{"each-period"} (each period's own technology),
    \code{"no-regress"} (no technical regress) or \code{"no-change"} (no
    technical change).}
  \item{window}{number of periods in each period's reference set.}
  \item{base}{the comparison observation of the Lowe and Fare-Primont
    families as \code{c(firm, period)}; \code{NULL} for the first firm in
    the first period.}
  \item{unit_means}{rescale every quantity to a mean of 1 before solving
    (advised when the quantities lie far from 1).}
  \item{threads}{number of worker threads; \code{NULL} for one per
    processor. The results do not depend on it.}
  \item{identifiers}{\code{NULL}: the result files print the firm and the
    period (their positions 1..N and 1..T where the labels are not numbers).
    Otherwise \code{list(columns = c(col1, col2), heading = "obs,firm,year")}:
    two numeric columns the files print instead, and the heading of the
    observation number and those two columns.}
  \item{single_solve}{never solve a doubtful linear program again on a
    rescaled copy.}
  \item{malmquist}{also compute the Malmquist index and its efficiency and
    technical change (\code{res$malmquist}).}
  \item{peers}{also the peers with their weights, the slacks and the
    targets (\code{peers} and \code{targets} of the value).}
  \item{bootstrap}{the number of replicates of the smoothed bootstrap of the
    efficiencies \code{OTE} and \code{ITE} (and, with \code{malmquist =
    TRUE}, of the Malmquist indexes), giving \code{res$bootstrap}; 0 for none.
    Only with each period's own technology (\code{window = 1}) or
    \code{technology = "no-change"}.}
  \item{seed}{the seed of the bootstrap's random streams, a whole number from
    0 to \eqn{2^{53}}{2^53}; the values are the same for any number of threads
    and are those of the console program and of the Python package for the
    same seed.}
  \item{alpha}{the intervals of the bootstrap cover \code{1 - alpha}.}
}
\value{
A list of class \code{"koru_results"} with the data frames
\item{indexes}{the index numbers (\code{dQ}, \code{dX}, \code{dTFP},
  \code{dTech}, \code{dTFPE}, ...);}
\item{levels}{the levels (\code{Q}, \code{X}, \code{TFP}, \code{TFP*},
  \code{OTE}, ...) and the logical column \code{max}, true where the
  observation reaches the largest TFP of its period's technology;}
\item{shadow_prices}{the revenue- and cost-deflated shadow prices;}
\item{extras}{the intermediate values of each observation;}
\item{malmquist}{with \code{malmquist = TRUE}: the four distances of each
  orientation and the Malmquist index \code{M_O}, \code{M_I} with its
  efficiency change \code{EC_*} and technical change \code{TC_*} (and,
  unless \code{rts = "crs"}, the constant-returns ones and the pure and scale
  efficiency change \code{PEC_*}, \code{SEC_*}), \code{NA} in the first
  period and where the observation lies outside the other period's
  technology; otherwise \code{NULL};}
\item{bootstrap}{with \code{bootstrap > 0}: for each measure \code{NAME}
  bootstrapped (\code{OTE}, \code{ITE} and, with \code{malmquist = TRUE},
  \code{M_O}, \code{EC_O}, \code{TC_O}, \code{M_I}, \code{EC_I},
  \code{TC_I}) the estimate \code{NAME}, the bias-corrected estimate
  \code{NAME_bc}, the bias \code{NAME_bias}, the standard error
  \code{NAME_se}, the ends \code{NAME_lo} and \code{NAME_hi} of the
  \code{1 - alpha} interval and the number of replicates used
  \code{NAME_n}, the columns of the file \code{name_output_bootstrap.csv};
  otherwise \code{NULL};}
\item{peers}{with \code{peers = TRUE} (\code{NULL} otherwise): one row per
  observation, orientation and peer, with the columns \code{firm},
  \code{period}, \code{orientation} (\code{"output"} or \code{"input"}),
  \code{peer_firm}, \code{peer_period}, \code{lambda} (the first stage's
  weight: the dual value of the peer's row in the observation's DOttt or
  DIttt program) and \code{lambda2} (the second stage's: the envelopment
  program at that distance maximising the slacks, each divided by the
  observation's own quantity);}
\item{targets}{with \code{peers = TRUE}: one row per observation and
  orientation with \code{firm}, \code{period}, \code{orientation}, then
  \code{slack_NAME} and \code{target_NAME} for every output and input
  \code{NAME}; \code{NA} where a program failed;}
each with the firm and period columns first (their original values and types)
and one numeric column per column of the corresponding result file, named by
its heading, at full precision, \code{NA} where the file prints -9999 or
nothing (and \code{NaN} where it prints nan). Further:
\item{representative}{the representative observation's values of the
  Fare-Primont family (\code{DO000}, \code{alpha0}, ...), a named list;}
\item{failed}{the linear programs that failed: firm, period, program, code;}
\item{stopped_short}{the programs that stopped short of their optimum:
  firm, period, program and the relative gain left;}
\item{note}{the note on programs solved again on a rescaled copy and on
  Malmquist distances outside the other period's technology, or
  \code{NULL};}
\item{warning}{the end-of-run warning, or \code{NULL}; when set,
  \code{analyze} also signals it with \code{\link{warning}};}
\item{settings, counts, summary}{the settings as applied, the counts of the
  panel and of the programs solved and failed (\code{bootstrap_failed}: the
  replicate programs that failed, whose values are left out), and the
  configuration summary.}
\item{console}{the text the console program prints while it works (the
  warning about badly scaled quantities, the counts, the headings of the
  computation sets, a line for each linear program that failed); nothing is
  printed.}
}
\section{Errors}{
A panel or setting the engine refuses (a firm or period without a present
observation, an absent base, a quantity that is \code{NA}, \code{NaN} or
infinite in a row that holds other quantities, an unknown family or option, a count out
of range) stops with the engine's message, naming the column and the firm and
period where one is involved, as an error of class \code{koru_input_error}.
An interrupt (Ctrl-C) ends a long run within a fraction of a second.
}
\seealso{\code{\link{write_results}}, \code{\link{report}},
  \code{\link{read_input}}, \code{\link[=print.koru_results]{print}}}
\examples{
states <- read.csv(system.file("extdata", "us_states.csv", package = "koru"))
res <- analyze(states, firm = "state", period = "year", outputs = "gsp",
               inputs = c("pc", "pcap", "emp"), family = "hicks-moorsteen",
               unit_means = TRUE, threads = 2)
res
head(res$indexes[, c("state", "year", "dTFP", "dTech", "dTFPE")])

# Fare-Primont indexes against state 5 in 1975, constant returns to scale
fp <- analyze(states, "state", "year", "gsp", c("pc", "pcap", "emp"),
              rts = "crs", base = c(5, 1975), unit_means = TRUE, threads = 2)
summary(fp)

# Bias-corrected efficiencies and 95\% intervals from 50 replicates
bs <- analyze(states, "state", "year", "gsp", c("pc", "pcap", "emp"),
              unit_means = TRUE, threads = 2, bootstrap = 50, seed = 7)
head(bs$bootstrap[, c("state", "year", "OTE", "OTE_bc", "OTE_lo", "OTE_hi")])
}
