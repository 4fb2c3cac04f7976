// Trimming, minimum phase (real cepstrum, FFTW), fade-out and loudness matching of an impulse response.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "IrProcessing.h"

#include "IrAnalysis.h"
#include "IrConversion.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <numbers>

namespace eLibrary {

namespace {

// The log of the magnitude is bounded here, below the largest bin: a spectral zero would give minus infinity,
// and a deep notch a cepstrum too long for the transform. 140 dB is below anything 16 bits can hold.
constexpr double kLogFloor = 1e-7;

double energyOf(std::span<const double> x)
{
    double e = 0.0;
    for (double v : x)
        e += v * v;
    return e;
}

} // namespace

std::string ProcessedIr::summary() const
{
    std::string text;
    for (const std::string& step : applied)
        text += (text.empty() ? "" : ", ") + step;
    if (!note.empty())
        text += (text.empty() ? "" : "; ") + note;
    return text;
}

std::vector<double> minimumPhase(std::span<const double> ir, std::size_t length)
{
    std::vector<double> result(ir.begin(), ir.end());
    result.resize(std::max(ir.size(), length), 0.0);
    if (ir.empty() || energyOf(ir) == 0.0)
        return result;
    // At least 8 times the length: the cepstrum of a long IR decays slowly, and what the transform cannot hold
    // wraps round into the early samples.
    const std::size_t n = fft::powerOfTwo(std::max<std::size_t>(8 * result.size(), 8192));
    const std::size_t half = n / 2;
    fft::RealTransform t(n);
    const std::span<double> samples = t.samples();
    const std::span<std::complex<double>> bins = t.bins();
    std::copy(ir.begin(), ir.end(), samples.begin());
    t.forward();

    double largestSquared = 0.0;
    for (const auto& b : bins)
        largestSquared = std::max(largestSquared, std::norm(b));
    const double floor = largestSquared * kLogFloor * kLogFloor; // of the squared magnitudes
    // The log magnitude over the whole period is real and even, so its forward transform is real too and is n
    // times its inverse, the real cepstrum: a forward transform is the faster of the two. Gathered first, as
    // the samples it goes to share the bins' buffer.
    std::vector<double> logMagnitude(half + 1);
    for (std::size_t k = 0; k <= half; ++k)
        logMagnitude[k] = 0.5 * std::log(std::max(std::norm(bins[k]), floor));
    std::copy(logMagnitude.begin(), logMagnitude.end(), samples.begin());
    std::copy(logMagnitude.rbegin() + 1, logMagnitude.rend() - 1, samples.begin() + static_cast<std::ptrdiff_t>(half + 1));
    t.forward();
    // The causal part of the real cepstrum, doubled, is the cepstrum of the minimum-phase IR.
    const double scale = 1.0 / static_cast<double>(n);
    // In place: sample q is written after bin q, which lies at 2q, is read.
    for (std::size_t q = 0; q <= half; ++q)
        samples[q] = bins[q].real() * scale * (q == 0 || q == half ? 1.0 : 2.0);
    std::fill(samples.begin() + static_cast<std::ptrdiff_t>(half + 1), samples.end(), 0.0);
    t.forward();
    for (auto& b : bins)
        b = std::polar(std::exp(b.real()), b.imag()); // std::exp of a complex checks for cases that cannot occur
    t.inverse();
    std::copy_n(samples.begin(), result.size(), result.begin());
    return result;
}

ProcessedIr processIr(const std::vector<double>& whole, const IrProcessing& options)
{
    ProcessedIr out;
    std::span<const double> ir(whole);
    if (options.trimSilence) {
        const std::size_t silence = leadingSilence(ir);
        ir = ir.subspan(silence);
        // Nothing said when there was nothing to trim: the line tells what changed.
        if (silence > 0)
            out.applied.push_back("trimmed " + std::to_string(silence) + " sample" + (silence == 1 ? "" : "s") +
                                  " of leading silence");
    }
    std::vector<double> shaped;
    if (options.minimumPhase) {
        shaped = minimumPhase(ir, kTapCount);
        out.applied.push_back("minimum phase");
    } else {
        shaped.assign(ir.begin(), ir.begin() + static_cast<std::ptrdiff_t>(std::min(ir.size(), kTapCount)));
    }
    shaped.resize(kTapCount, 0.0);

    if (options.fadeOut) {
        const std::size_t start = kTapCount - kFadeTaps;
        for (std::size_t k = 0; k < kFadeTaps; ++k)
            shaped[start + k] *=
                0.5 * (1.0 + std::cos(std::numbers::pi * static_cast<double>(k + 1) / static_cast<double>(kFadeTaps)));
        out.applied.push_back("faded out");
    }

    if (options.matchLoudness) {
        const double energy = energyOf(shaped);
        double largest = 0.0;
        for (double v : shaped)
            largest = std::max(largest, std::fabs(v));
        if (energy == 0.0) {
            out.note = "silent, so the loudness could not be matched";
        } else {
            const double target = 32767.0 * 32767.0 * std::pow(10.0, kMatchedEnergyDb / 10.0);
            const double matched = std::sqrt(target / energy);
            double gain = matched;
            if (largest * gain > 32767.0) {
                gain = 32767.0 / largest;
                char text[96];
                std::snprintf(text, sizeof text, "scaled %.1f dB below the matched level so that no tap clips",
                              20.0 * std::log10(matched / gain));
                out.note = text;
            }
            for (double& v : shaped)
                v *= gain;
            out.applied.push_back("loudness matched");
        }
    }

    for (std::size_t i = 0; i < kTapCount; ++i)
        out.taps[i] = roundToCoefficient(shaped[i]);
    return out;
}

} // namespace eLibrary
