// Optional changes to an impulse response before its 2048 taps go to the amplifier: trimming the leading
// silence, minimum phase, a fade-out at the end of the taps, and loudness matched between files.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace eLibrary {

struct IrProcessing {
    bool trimSilence = false;   // drop the samples before the first one within 60 dB of the peak
    bool minimumPhase = false;  // the same magnitude response with the energy as early as it can be
    bool fadeOut = false;       // a half-Hann fade over the last 10 % of the taps, so the cut does not click
    bool matchLoudness = false; // the same taps energy for every file (kMatchedEnergyDb)

    bool any() const { return trimSilence || minimumPhase || fadeOut || matchLoudness; }
};

// The taps energy loudness matching aims at, in dB against a full-scale unit impulse (one tap of 32767): a
// single tap can hold at most that energy, so a target at or below 0 dB could never clip and would leave
// typical IRs, whose largest tap holds a small part of their energy, quieter than they need be. At +3 dB an
// IR whose largest tap is at least 3 dB below its energy (typical cabinet IRs are 6 to 10 dB below) fits;
// an IR that is nearly one impulse is scaled down instead.
inline constexpr double kMatchedEnergyDb = 3.0;
// The taps the fade-out covers: 10 % of 2048, rounded.
inline constexpr std::size_t kFadeTaps = 205;

struct ProcessedIr {
    std::array<std::int16_t, 2048> taps{};
    std::vector<std::string> applied; // what was done, in order, e.g. "minimum phase"
    std::string note;                 // set when the loudness could not be matched, and why
    // The part of the file's energy that the taps hold after trimming and minimum phase (before the fade and the
    // loudness, which only scale it), 0..1: what the processing won against the file's own first 2048 samples.
    double keptShare = 1.0;

    // The applied steps as one line for the IR library, e.g. "trimmed 221 samples of leading silence,
    // minimum phase, faded out, loudness matched", then "; " and the note when there is one; empty when
    // nothing was applied.
    std::string summary() const;
};

// The minimum-phase IR with the magnitude response of `ir` (real cepstrum, FFT of at least 8 times its length),
// at least `length` samples long and at least as long as `ir`: an IR shorter than the taps keeps the little
// the method puts after its end.
std::vector<double> minimumPhase(std::span<const double> ir, std::size_t length = 0);

// The taps of `whole` (16-bit units at 44100 Hz, as ConvertedIrFile::readWhole gives it) with the chosen
// processing, in this order: trim, minimum phase, cut to 2048, fade, loudness, rounding to 16 bits (nearest,
// clipped). With nothing chosen the taps are the first 2048 samples rounded, as the conversion makes them.
ProcessedIr processIr(const std::vector<double>& whole, const IrProcessing& options);

} // namespace eLibrary
