\name{report}
\alias{report}
\title{Write the HTML Report of a Run}
\description{
Writes a page of charts of the decomposition by period, the report the KORU
console program writes with its \option{--report} option.
}
\usage{
report(res, path)
}
\arguments{
  \item{res}{the result of \code{\link{analyze}} in this session.}
  \item{path}{the HTML file to write.}
}
\value{\code{path}, invisibly. A file that cannot be written stops with an
error of class \code{koru_write_error}.}
\examples{
states <- read.csv(system.file("extdata", "us_states.csv", package = "koru"))
res <- analyze(states, "state", "year", "gsp", c("pc", "pcap", "emp"),
               unit_means = TRUE, threads = 2)
page <- report(res, file.path(tempdir(), "us_states_report.html"))
file.exists(page)
}
