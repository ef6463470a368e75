\name{write_results}
\alias{write_results}
\title{Write the Result Files of a Run}
\description{
Writes the four result files and the error log of a run exactly as the KORU
console program writes them for the same panel and settings:
\file{<base>_output_indexes.csv}, \file{<base>_output_levels.csv},
\file{<base>_output_shadowprices.csv}, \file{<base>_output_xtras.csv} and
\file{<base>_output_xxerrors.txt}.
}
\usage{
write_results(res, base)
}
\arguments{
  \item{res}{the result of \code{\link{analyze}} in this session.}
  \item{base}{the path the file names start with.}
}
\value{\code{base}, invisibly. A file that cannot be written stops with an
error of class \code{koru_write_error}.}
\examples{
states <- read.csv(system.file("extdata", "us_states.csv", package = "koru"))
res <- analyze(states, "state", "year", "gsp", c("pc", "pcap", "emp"),
               unit_means = TRUE, threads = 2)
base <- file.path(tempdir(), "us_states")
write_results(res, base)
readLines(paste0(base, "_output_indexes.csv"), n = 5)
}
