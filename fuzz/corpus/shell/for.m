s = 0; for k = 1:10, s = s + k; end; disp(s)
