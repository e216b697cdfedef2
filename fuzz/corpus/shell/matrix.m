x = [1 2; 3 4]; disp(x * x')
