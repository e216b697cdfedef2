% The front end of mel-cepstral analysis, step by step: a filterbank for 25 ms frames at
% 16 kHz, log filterbank outputs of a few smooth spectra, 12 cepstral coefficients, the
% raised-sine lifter and its undoing, decibels, the mel-scale figure, and a figure of the
% front end: waveform, filterbank and cepstra.

% 1. 24 mel-spaced triangular filters for 400-sample frames at 16 kHz.
fbank = bandsetup(400, 24, 16000);
[nchans, nbins] = size(fbank);
fprintf('1. Filterbank: %d channels by %d FFT bins.\n', nchans, nbins);

% 2. Three smooth magnitude spectra, one per column (a falling slope, a resonance near
%    bin 40, a flat spectrum), through the filterbank and the logarithm.
k = (1:nbins)';
spectra = [exp(-k / 60), 1 + 10 * exp(-((k - 40) / 12) .^ 2), ones(nbins, 1)];
logfb = log(fbank * spectra);
fprintf('2. Log filterbank outputs: %d channels by %d frames, from %.3f to %.3f.\n', ...
        size(logfb, 1), size(logfb, 2), min(logfb(:)), max(logfb(:)));

% 3. Cepstral coefficients 1 to 12 of each frame.
ceps = chan2qf(logfb, 12);
fprintf('3. Cepstra: %d coefficients by %d frames; c1 of each frame:', size(ceps, 1), size(ceps, 2));
fprintf(' %.4f', ceps(1, :));
fprintf('\n');

% 4. Liftering with L = 22, then undoing it with -22.
liftered = quefwind(ceps, 22);
restored = quefwind(liftered, -22);
fprintf('4. Liftered c12 of frame 1: %.4f (was %.4f); undone within %.3g.\n', ...
        liftered(12, 1), ceps(12, 1), max(abs(restored(:) - ceps(:))));

% 5. Some magnitudes in decibels, 20 log10(x).
mags = [1 10 100 0.001 0.5];
decibels = db(mags);
fprintf('5. Decibels:');
fprintf(' %g -> %.2f dB;', [mags; decibels]);
fprintf('\n');

% 6. The labelled mel-scale figure; the host writes it when it ends.
fig = tonegrid;
fprintf('6. Drew the mel-scale figure (figure %d).\n', fig);

% 7. The front end in one figure: a synthetic voiced waveform (a 120 Hz pulse train's
%    first harmonics under a slow swell), the filterbank's triangles, and the cepstra of
%    100 frames whose spectral peak glides up, over time.
fs = 16000;
t = (0:7999) / fs;
wave = (1 + 0.6 * sin(2 * pi * 2 * t)) .* (sin(2 * pi * 120 * t) + 0.5 * sin(2 * pi * 240 * t) ...
       + 0.25 * sin(2 * pi * 360 * t) + 0.12 * sin(2 * pi * 720 * t));
hz = (0:nbins - 1) * fs / (2 * (nbins - 1));
frames = 100;
peaks = 20 + (1:frames) * 1.5;
glide = 1 + 10 * exp(-((k * ones(1, frames) - ones(nbins, 1) * peaks) / 10) .^ 2);
cepstra = chan2qf(log(fbank * glide), 12);

figure('Position', [100 100 640 820], 'Color', [1 1 1]);
subplot(3, 1, 1);
plot(t * 1000, wave, 'b');
title('Waveform (synthetic voiced sound, 0.5 s at 16 kHz)');
xlabel('time in ms');
ylabel('amplitude');
grid('on');
subplot(3, 1, 2);
plot(hz, fbank');
axis([0 8000 0 1.05]);
title('Filterbank: 24 mel-spaced triangles');
xlabel('frequency in Hz');
ylabel('weight');
subplot(3, 1, 3);
imagesc(1:frames, 1:12, cepstra);
axis('xy');
colorbar;
title('Cepstra c1 to c12 over time');
xlabel('frame');
ylabel('coefficient');
fprintf('7. Drew the front end: waveform, filterbank and cepstra (figure %d).\n', gcf);
