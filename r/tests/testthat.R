library(testthat)
library(koru)

test_check("koru")
