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
    const std::size_t n = fft::fastSize(std::max<std::size_t>(8 * result.size(), 8192));
    const std::size_t half = n / 2;
    // The magnitude in double precision: it decides the taps' energy, and single precision would blur the bins
    // far below the largest. The phase goes through the cepstrum in single precision, twice as fast; its error
    // (parts per million of a radian) changes the energy the taps keep only in the second order.
    std::vector<double> magnitude(half + 1);
    std::vector<float> logMagnitude(half + 1);
    {
        fft::RealTransform exact(n);
        std::copy(ir.begin(), ir.end(), exact.samples().begin());
        exact.forward();
        const std::span<const std::complex<double>> spectrum = exact.bins();
        double largestSquared = 0.0;
        for (const auto& b : spectrum)
            largestSquared = std::max(largestSquared, std::norm(b));
        const double floor = largestSquared * kLogFloor * kLogFloor; // of the squared magnitudes
        for (std::size_t k = 0; k <= half; ++k) {
            const double squared = std::max(std::norm(spectrum[k]), floor);
            magnitude[k] = std::sqrt(squared);
            logMagnitude[k] = static_cast<float>(0.5 * std::log(squared));
        }
    }
    fft::RealTransformF t(n);
    const std::span<float> samples = t.samples();
    const std::span<std::complex<float>> bins = t.bins();
    // The log magnitude over the whole period is real and even, so its forward transform is real too and is n
    // times its inverse, the real cepstrum: a forward transform is the faster of the two.
    std::copy(logMagnitude.begin(), logMagnitude.end(), samples.begin());
    std::copy(logMagnitude.rbegin() + 1, logMagnitude.rend() - 1, samples.begin() + static_cast<std::ptrdiff_t>(half + 1));
    t.forward();
    // The causal part of the real cepstrum, doubled, is the cepstrum of the minimum-phase IR.
    const float scale = 1.0F / static_cast<float>(n);
    // In place: sample q is written after bin q, which lies at 2q, is read.
    for (std::size_t q = 0; q <= half; ++q)
        samples[q] = bins[q].real() * scale * (q == 0 || q == half ? 1.0F : 2.0F);
    std::fill(samples.begin() + static_cast<std::ptrdiff_t>(half + 1), samples.end(), 0.0F);
    t.forward();
    // Its imaginary part is the minimum phase; the real part would give back the magnitude, known exactly.
    for (std::size_t k = 0; k <= half; ++k)
        bins[k] = std::polar(static_cast<float>(magnitude[k]), bins[k].imag());
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
    if (const double total = energyOf(whole); total > 0.0)
        out.keptShare = std::min(1.0, energyOf(shaped) / total);

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
