function c = mfcc(y, fs, varargin)
% MFCC  Mel-frequency cepstral coefficients of a signal, one column per frame.
%   c = mfcc(y, fs) gives c1 to c12 of every whole 25 ms frame of y, 10 ms apart, as
%   Kaldi's compute-mfcc-feats does with --dither=0 --low-freq=0 --num-mel-bins=23:
%   samples on the 16-bit integer scale, the mean of each frame removed, pre-emphasis
%   0.97 (the first sample scaled by 0.03), a Povey window (the symmetric Hann window to
%   the power 0.85), the power spectrum zero-padded to a power of two, a filterbank of
%   23 mel-spaced triangles from 0 Hz to fs/2 (bandsetup), the natural log of each
%   channel's energy floored at 2^-23, cepstra 1 to 12 (chan2qf) and the raised-sine
%   lifter L = 22 (quefwind). y is a vector of samples (the first column of a matrix),
%   fs its sampling frequency in Hz.
%
%   c = mfcc(y, fs, 'Name', value, ...) sets options (names in any case; a later pair
%   overrides an earlier one):
%     'FrameLength'  frame length in ms (25)
%     'FrameShift'   frame shift in ms (10)
%     'PreEmphasis'  pre-emphasis coefficient, 0 for none (0.97)
%     'Window'       'povey', 'hamming', 'hann' or 'rectangular' ('povey')
%     'NumChannels'  number of filterbank channels (23)
%     'NumCeps'      number of cepstral coefficients (12)
%     'Lifter'       lifter length L, 0 for none (22)
%     'Scale'        factor applied to the samples (32768, the 16-bit scale of
%                    audioread's [-1, 1) values)

if nargin < 2
  error('mfcc: expects a signal and its sampling frequency.');
end
if mod(nargin, 2) ~= 0
  error('mfcc: options come in name-value pairs.');
end
% Options, in the order of applyoption's vector: frame length (ms), frame shift (ms),
% pre-emphasis, channels, coefficients, lifter, sample scale; and the window name.
opts = [25 10 0.97 23 12 22 32768];
win = 'povey';
for k = 1:2:numel(varargin)
  [opts, win] = applyoption(opts, win, varargin{k}, varargin{k + 1});
end

% Frame length and shift in whole samples.
flen = round(fs * opts(1) / 1000);
shift = round(fs * opts(2) / 1000);
if flen < 2 || shift < 1
  error('mfcc: frames must be at least 2 samples long and at least 1 sample apart.');
end
if size(y, 1) == 1
  y = y';
end
x = y(:, 1) * opts(7);
n = size(x, 1);
nframes = 0;
if n >= flen
  nframes = 1 + floor((n - flen) / shift);
end

% Frames as the columns of one matrix, taken by one index matrix.
idx = (1:flen)' * ones(1, nframes) + ones(flen, 1) * ((0:nframes - 1) * shift);
frames = x(idx);
frames = reshape(frames, flen, nframes);
frames = frames - ones(flen, 1) * (sum(frames, 1) / flen);
if opts(3) ~= 0
  % x(i) - a x(i-1) within the frame; the first sample becomes (1 - a) x(1).
  frames = frames - opts(3) * [frames(1, :); frames(1:flen - 1, :)];
end
frames = frames .* (framewindow(win, flen) * ones(1, nframes));

% One filterbank for every frame; it spans the lower half of the padded spectrum.
fbank = bandsetup(flen, opts(4), fs);
nbins = size(fbank, 2);
spectra = fft(frames, 2 * nbins);
spectra = spectra(1:nbins, :);
power = real(spectra) .^ 2 + imag(spectra) .^ 2;
energies = max(fbank * power, 2 ^ -23);
c = quefwind(chan2qf(log(energies), opts(5)), opts(6));

function w = framewindow(name, n)
% The window of n samples as a column: Kaldi's Povey, Hamming, Hann and rectangular
% windows, all symmetric (a period of n - 1 samples).
a = 2 * pi / (n - 1) * (0:n - 1)';
if strcmp(name, 'povey')
  w = (0.5 - 0.5 * cos(a)) .^ 0.85;
elseif strcmp(name, 'hamming')
  w = 0.54 - 0.46 * cos(a);
elseif strcmp(name, 'hann')
  w = 0.5 - 0.5 * cos(a);
elseif strcmp(name, 'rectangular')
  w = ones(n, 1);
else
  error(['mfcc: unknown window ''' name ''' (povey, hamming, hann or rectangular).']);
end

function [opts, win] = applyoption(opts, win, name, value)
% One name-value pair into the option vector or the window name.
name = lower(name);
if strcmp(name, 'window')
  win = lower(value);
  return;
end
k = 0;
if strcmp(name, 'framelength'), k = 1; end
if strcmp(name, 'frameshift'), k = 2; end
if strcmp(name, 'preemphasis'), k = 3; end
if strcmp(name, 'numchannels'), k = 4; end
if strcmp(name, 'numceps'), k = 5; end
if strcmp(name, 'lifter'), k = 6; end
if strcmp(name, 'scale'), k = 7; end
if k == 0
  error(['mfcc: unknown option ''' name '''.']);
end
if numel(value) ~= 1
  error(['mfcc: the option ''' name ''' takes a number.']);
end
opts(k) = value;
