\name{print.koru_results}
\alias{print.koru_results}
\alias{summary.koru_results}
\alias{print.summary.koru_results}
\title{Print and Summarise the Results of a Run}
\description{
\code{print} shows the run's configuration, its counts, the programs that
failed or stopped short, the end-of-run warning, and the geometric means over
the firms of each period of \code{dTFP}, \code{dTech} and \code{dTFPE}.
\code{summary} gives the geometric means by period of every index column.
}
\usage{
\method{print}{koru_results}(x, ...)
\method{summary}{koru_results}(object, ...)
\method{print}{summary.koru_results}(x, ...)
}
\arguments{
  \item{x, object}{the result of \code{\link{analyze}} (or of \code{summary}).}
  \item{...}{not used.}
}
\details{
A period's mean leaves out the firms whose index is \code{NA}, not finite or
not positive, as the HTML report does.
}
\value{
\code{print} returns its argument invisibly; \code{summary} a list of class
\code{"summary.koru_results"} whose \code{means} is a data frame with one row
per period.
}
\examples{
states <- read.csv(system.file("extdata", "us_states.csv", package = "koru"))
res <- analyze(states, "state", "year", "gsp", c("pc", "pcap", "emp"),
               family = "malmquist-hs", unit_means = TRUE, threads = 2)
print(res)
summary(res)$means
}
