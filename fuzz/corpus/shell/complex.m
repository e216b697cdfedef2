z = 3 + 4i; disp(abs(z)); y = fft([1 0 0 0]); disp(real(y))
