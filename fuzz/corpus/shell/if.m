a = 1:5; b = a(a > 2); if numel(b) == 3, disp(sum(b)), else, disp(0), end
