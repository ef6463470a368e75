\name{read_input}
\alias{read_input}
\title{Read a KORU Input File}
\description{
Reads a KORU input file (its command section and data rows) as the console
program does and returns its panel as a data frame together with the
arguments of \code{\link{analyze}} that reproduce the file's run.
}
\usage{
read_input(path)
}
\arguments{
  \item{path}{the input file.}
}
\value{
A list with
\item{data}{a data frame with the columns \code{firm} and \code{period}
  (positions 1..N and 1..T), \code{id1} and \code{id2} (the file's two
  identifier columns), then the outputs, inputs and prices, named as in the
  file's header line (\code{y1}, \code{x1}, \code{p1}, \code{w1}, ... where a
  name is missing or repeated). Values are those the console program reads:
  single-precision numbers held as doubles.}
\item{settings}{a list of arguments of \code{\link{analyze}}: \code{firm},
  \code{period}, \code{outputs}, \code{inputs}, \code{output_prices},
  \code{input_prices}, \code{family} (\code{NULL} where the file names
  none), \code{rts}, \code{technology}, \code{window}, \code{base},
  \code{unit_means} and \code{identifiers}, so that
  \code{do.call(analyze, c(list(data), settings))} followed by
  \code{\link{write_results}} gives the console program's files.}
\item{console}{the text the console program prints while reading the file
  (its configuration summary and any warning about the file); nothing is
  printed.}
A file the console program stops on stops with its message, as an error of
class \code{koru_input_error}.
}
\examples{
input <- read_input(system.file("extdata", "us_states_input.csv", package = "koru"))
str(input$settings)
res <- do.call(analyze, c(list(input$data), input$settings, threads = 2))
res
}
