// What an impulse response holds and how much of it the amplifier's 2048 taps keep: lengths, peak, leading
// silence, energy and level, and its magnitude response for a plot. Samples are in 16-bit units (full scale
// 32768) at 44100 Hz, as the conversion reads them.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <complex>
#include <cstddef>
#include <span>
#include <vector>

namespace eLibrary {

inline constexpr std::size_t kTapCount = 2048;
inline constexpr double kIrRate = 44100.0;
inline constexpr double kFullScaleUnits = 32768.0;
// A sample is part of the sound from the first one within this many dB of the peak.
inline constexpr double kSilenceDb = -60.0;

// Samples at 44100 Hz as milliseconds.
inline double samplesToMs(double samples)
{
    return samples * 1000.0 / kIrRate;
}

// The samples before the first one whose magnitude is within 60 dB of the peak; 0 for silence.
std::size_t leadingSilence(std::span<const double> ir);

struct IrMeasures {
    std::size_t length = 0;
    double lengthMs = 0.0;
    std::size_t peakPosition = 0; // the first sample of the largest magnitude
    double peakMs = 0.0;
    double peak = 0.0; // the sample there, signed, in 16-bit units
    std::size_t leadingSilence = 0;
    double leadingSilenceMs = 0.0;
    double energy = 0.0;   // the sum of the squared samples, in 16-bit units squared
    double peakDbfs = 0.0; // |peak| against 32768; minus infinity for silence
    double rmsDbfs = 0.0;  // the RMS over the whole length against 32768; minus infinity for silence
};

IrMeasures measureIr(std::span<const double> ir);

struct IrAnalysis {
    IrMeasures whole;
    IrMeasures taps; // the first 2048 samples, silence-padded when the IR is shorter
    // The part of the whole IR's energy the taps keep, 0..1; 1 for silence, which loses nothing.
    double tapsEnergyShare = 1.0;

    double tapsEnergyPercent() const { return 100.0 * tapsEnergyShare; }
    double tapsEnergyDb() const; // minus infinity when the taps keep nothing
};

IrAnalysis analyseIr(std::span<const double> whole);

// Whether taps sent differ from the first samples of the whole response: the loading processed them.
bool tapsDifferFromFile(std::span<const double> whole, std::span<const double> taps);

// The magnitude response on a logarithmic frequency grid, in dB against a full-scale unit impulse (a single
// sample of 32768 is 0 dB at every frequency). Bins with no energy are shown at kResponseFloorDb.
struct MagnitudeResponse {
    std::vector<double> frequencyHz;
    std::vector<double> db;
};

inline constexpr double kResponseFloorDb = -200.0;

// `points` frequencies from lowHz to highHz, evenly spaced in log frequency, from an FFT of the IR zero-padded to
// a power of two at least its length and at least 8192, read between bins by linear interpolation of the
// magnitude.
MagnitudeResponse magnitudeResponse(std::span<const double> ir, std::size_t points = 256, double lowHz = 20.0,
                                    double highHz = 20000.0);

// Real transforms through FFTW, shared with the processing.
namespace fft {

// The smallest power of two at least `atLeast` (and at least 1).
std::size_t powerOfTwo(std::size_t atLeast);
// The smallest even size at least `atLeast` whose only prime factors are 2, 3, 5 and 7: FFTW transforms such a
// size about as fast per point as a power of two, and one is never far above `atLeast` (a power of two can be
// almost twice it).
std::size_t fastSize(std::size_t atLeast);

// A real transform of n points and its inverse, in place in a buffer of its own aligned for FFTW's fastest code
// (in place is faster than out of place here), in double or single precision (float: twice as fast, for the
// long transforms of the minimum phase). The samples and the bins share that buffer: a transform turns one into
// the other. The plans are made once per size and kept: planning a long transform costs more than running it.
// FFTW's planner is not thread-safe, so plans are made under one lock; transforms run outside it, from any
// thread.
template <typename T> class BasicRealTransform {
public:
    explicit BasicRealTransform(std::size_t n); // n even
    ~BasicRealTransform();
    BasicRealTransform(const BasicRealTransform&) = delete;
    BasicRealTransform& operator=(const BasicRealTransform&) = delete;

    std::size_t size() const { return m_n; }
    std::span<T> samples() { return {m_buffer, m_n}; } // n, zero at first
    std::span<std::complex<T>> bins() { return {reinterpret_cast<std::complex<T>*>(m_buffer), m_n / 2 + 1}; }

    void forward(); // samples to bins 0 to n/2
    void inverse(); // bins to samples, divided by n so that inverse() after forward() gives the samples back

private:
    std::size_t m_n;
    T* m_buffer;
};

using RealTransform = BasicRealTransform<double>;
using RealTransformF = BasicRealTransform<float>;

} // namespace fft

} // namespace eLibrary
