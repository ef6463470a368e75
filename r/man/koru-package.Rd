\name{koru-package}
\alias{koru-package}
\alias{koru}
\docType{package}
\title{Productivity Measurement and Decomposition for Panels of Firms}
\description{
KORU estimates the production technology of every period of a panel of firms
by data envelopment analysis and decomposes total factor productivity change
into technical change, efficiency change and their components. The package
runs the same engine as the KORU console program: \code{\link{analyze}} takes
a data frame and returns the results as data frames, \code{\link{write_results}}
writes the console program's result files byte for byte, \code{\link{report}}
the HTML report, and \code{\link{read_input}} reads a KORU input file.
}
\details{
The package ships the gross state product panel of the 48 contiguous US
states, 1970-1986, in two forms: \file{extdata/us_states.csv}, a plain table
with the columns \code{state}, \code{year}, \code{gsp} (gross state product),
\code{pc} (private capital), \code{pcap} (public capital) and \code{emp}
(employment), and \file{extdata/us_states_input.csv}, the same panel as a KORU
input file.
}
\examples{
states <- read.csv(system.file("extdata", "us_states.csv", package = "koru"))
res <- analyze(states, firm = "state", period = "year", outputs = "gsp",
               inputs = c("pc", "pcap", "emp"), unit_means = TRUE)
res
}
\keyword{package}
