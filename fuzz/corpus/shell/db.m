x = db([1 10 100]); fprintf("%g\n", x)
