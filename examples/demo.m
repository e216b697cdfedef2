% The front end of mel-cepstral analysis, step by step: a filterbank for 25 ms frames at
% 16 kHz, log filterbank outputs of a few smooth spectra, 12 cepstral coefficients, the
% raised-sine lifter and its undoing, decibels, the mel-scale figure, then the whole front
% end on a spoken sentence, with a figure of its waveform, filterbank and cepstra.

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

% 7. The front end on speech: the sentence espeak-ng spoke at build time (16 kHz), read
%    with audioread, through examples/mfcc.m with its defaults (Kaldi's MFCC with 23
%    channels); the features go to demo/features.mat.
[speech, fs] = audioread('demo/speech.wav');
feats = mfcc(speech, fs);
[nceps, nframes] = size(feats);
fprintf('7. Front end of demo/speech.wav (%.2f s at %d Hz): %d frames of %d coefficients.\n', ...
        size(speech, 1) / fs, fs, nframes, nceps);
fprintf('   c%-2d from %8.3f to %8.3f\n', [1:nceps; min(feats, [], 2)'; max(feats, [], 2)']);
save('demo/features.mat', 'feats', 'fs');
fprintf('   Saved them to demo/features.mat as feats (%d by %d) and fs.\n', nceps, nframes);

% 8. The front end in one figure: the speech waveform, the filterbank's triangles and the
%    cepstra over time (frame centres, 12.5 ms + 10 ms steps).
fb23 = bandsetup(400, 23, fs);
hz = (0:size(fb23, 2) - 1) * fs / (2 * size(fb23, 2));
t = (0:size(speech, 1) - 1) / fs;
figure('Position', [100 100 640 820], 'Color', [1 1 1]);
subplot(3, 1, 1);
plot(t, speech, 'b');
axis([0 size(speech, 1) / fs -1 1]);
title('Waveform: espeak-ng speaking a sentence at 16 kHz');
xlabel('time in s');
ylabel('amplitude');
grid('on');
subplot(3, 1, 2);
plot(hz, fb23');
axis([0 8000 0 1.05]);
title('Filterbank: 23 mel-spaced triangles');
xlabel('frequency in Hz');
ylabel('weight');
subplot(3, 1, 3);
imagesc(0.0125 + (0:nframes - 1) * 0.01, 1:nceps, feats);
axis('xy');
colorbar;
title('Cepstra c1 to c12 over time (liftered)');
xlabel('time in s');
ylabel('coefficient');
fprintf('8. Drew the front end: waveform, filterbank and cepstra (figure %d).\n', gcf);
