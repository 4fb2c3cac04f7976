// Reading a whole IR, its figures (leading silence, energy the taps keep, level, magnitude response) against
// closed forms and libsndfile, and the optional processing: trim, minimum phase, fade-out, loudness matching.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AudioFiles.h"
#include "IrAnalysis.h"
#include "IrConversion.h"
#include "IrProcessing.h"

#include "../common/WaveFile.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <vector>

using namespace orx::test;
using eLibrary::kTapCount;

namespace {

constexpr double kPi = std::numbers::pi;

double energy(std::span<const double> x, std::size_t count = SIZE_MAX)
{
    double e = 0.0;
    for (std::size_t i = 0; i < std::min(count, x.size()); ++i)
        e += x[i] * x[i];
    return e;
}

double tapsEnergy(const eLibrary::ProcessedIr& p)
{
    double e = 0.0;
    for (std::int16_t t : p.taps)
        e += static_cast<double>(t) * t;
    return e;
}

std::vector<double> decaying(double amplitude, double a, std::size_t length, std::size_t delay = 0)
{
    std::vector<double> h(delay + length, 0.0);
    for (std::size_t n = 0; n < length; ++n)
        h[delay + n] = amplitude * std::pow(a, static_cast<double>(n));
    return h;
}

// Like a measured cabinet: a short onset, then noise, low-passed by a one-pole filter, decaying over ~5 ms.
std::vector<double> measuredLike(std::size_t length, std::uint32_t seed, double amplitude = 12000.0)
{
    std::mt19937 random(seed);
    std::normal_distribution<double> noise;
    std::vector<double> h(length);
    double state = 0.0;
    for (std::size_t n = 0; n < length; ++n) {
        state = 0.6 * state + 0.4 * noise(random);
        h[n] = amplitude * state * std::exp(-static_cast<double>(n) / 220.0);
    }
    return h;
}

// A linear-phase low-pass: a Blackman-windowed sinc of odd length, symmetric about its middle.
std::vector<double> windowedSinc(std::size_t length, double cutoffHz, double amplitude)
{
    std::vector<double> h(length);
    const double middle = static_cast<double>(length - 1) / 2.0;
    const double fc = cutoffHz / eLibrary::kIrRate;
    for (std::size_t n = 0; n < length; ++n) {
        const double t = static_cast<double>(n) - middle;
        const double sinc = t == 0.0 ? 2.0 * fc : std::sin(2.0 * kPi * fc * t) / (kPi * t);
        const double x = 2.0 * kPi * static_cast<double>(n) / static_cast<double>(length - 1);
        h[n] = amplitude * sinc * (0.42 - 0.5 * std::cos(x) + 0.08 * std::cos(2.0 * x));
    }
    return h;
}

std::vector<double> sndfileDoubles(const std::filesystem::path& path)
{
    SF_INFO info{};
    std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> file(sf_open(path.c_str(), SFM_READ, &info), sf_close);
    EXPECT_TRUE(file) << sf_strerror(nullptr);
    if (!file)
        return {};
    std::vector<double> out(static_cast<std::size_t>(info.frames * info.channels));
    out.resize(static_cast<std::size_t>(sf_read_double(file.get(), out.data(), static_cast<sf_count_t>(out.size()))));
    return out;
}

std::filesystem::path sndfileWrite(const std::string& name, int format, int rate, const std::vector<double>& samples)
{
    const auto path = scratch() / name;
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = format;
    std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> file(sf_open(path.c_str(), SFM_WRITE, &info), sf_close);
    EXPECT_TRUE(file) << sf_strerror(nullptr);
    if (file) {
        // Keep libsndfile from normalising integer output by anything but its usual full scale.
        sf_command(file.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
        EXPECT_EQ(sf_write_double(file.get(), samples.data(), static_cast<sf_count_t>(samples.size())),
                  static_cast<sf_count_t>(samples.size()));
    }
    return path;
}

std::vector<std::int16_t> noise16(std::size_t length, std::uint32_t seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> value(-32768, 32767);
    std::vector<std::int16_t> out(length);
    for (auto& v : out)
        v = static_cast<std::int16_t>(value(random));
    return out;
}

} // namespace

// ---- Reading the whole IR -------------------------------------------------------------------------------------

TEST(WholeIr, SixteenBitFileIsItsSamplesAndStartsWithTheTaps)
{
    const auto samples = noise16(5000, 7);
    const auto path = scratch() / "whole16.wav";
    writeWave(path, {samples, std::vector<std::int16_t>(samples.size(), 0)});

    eLibrary::ConvertedIrFile file(path);
    std::vector<double> whole;
    ASSERT_TRUE(file.readWhole(0, whole));
    ASSERT_EQ(whole.size(), samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i)
        ASSERT_EQ(whole[i], samples[i]) << "sample " << i;

    std::int16_t taps[kTapCount];
    ASSERT_TRUE(file.readCoefficients(0, taps));
    for (std::size_t i = 0; i < kTapCount; ++i)
        ASSERT_EQ(whole[i], taps[i]) << "tap " << i;

    // With nothing chosen the processing gives the same taps, bit for bit.
    const eLibrary::ProcessedIr plain = eLibrary::processIr(whole, {});
    EXPECT_TRUE(std::equal(plain.taps.begin(), plain.taps.end(), taps));
    EXPECT_TRUE(plain.applied.empty());
    EXPECT_TRUE(plain.note.empty());
    EXPECT_EQ(plain.summary(), "");

    // The second channel is the silence written there, and the length is capped where asked.
    ASSERT_TRUE(file.readWhole(1, whole));
    EXPECT_EQ(whole, std::vector<double>(samples.size(), 0.0));
    ASSERT_TRUE(file.readWhole(0, whole, 3000));
    EXPECT_EQ(whole.size(), 3000u);
}

// Wider integers keep their upper 16 bits and floats are times 32767, unrounded: libsndfile's reading of the
// same file is the reference.
TEST(WholeIr, WideIntegerAndFloatFilesAgainstLibsndfile)
{
    struct Case {
        const char* name;
        int format;
        double scale; // libsndfile's normalised value to 16-bit units
        bool upper16; // integer samples: the units are whole (floor of the 24-bit value / 256)
    };
    const std::vector<double> signal = [] {
        std::vector<double> s(4000);
        std::mt19937 random(11);
        std::uniform_real_distribution<double> value(-0.99, 0.99);
        for (auto& v : s)
            v = value(random);
        return s;
    }();
    for (const Case& c : {Case{"whole24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 32768.0, true},
                          Case{"wholef32.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 32767.0, false},
                          Case{"wholef64.aiff", SF_FORMAT_AIFF | SF_FORMAT_DOUBLE, 32767.0, false}}) {
        SCOPED_TRACE(c.name);
        const auto path = sndfileWrite(c.name, c.format, 44100, signal);
        const std::vector<double> reference = sndfileDoubles(path);
        eLibrary::ConvertedIrFile file(path);
        std::vector<double> whole;
        ASSERT_TRUE(file.readWhole(0, whole));
        ASSERT_EQ(whole.size(), reference.size());
        for (std::size_t i = 0; i < whole.size(); ++i) {
            const double expected = c.upper16 ? std::floor(reference[i] * c.scale) : reference[i] * c.scale;
            ASSERT_NEAR(whole[i], expected, 1e-9 * 32768.0) << "sample " << i;
        }
    }
}

// A 48 kHz file comes at 44100 Hz as long as its duration, and a sine in it is the same sine.
TEST(WholeIr, OtherRateIsResampledOverItsWholeLength)
{
    constexpr int kRate = 48000;
    constexpr double kHz = 1000.0;
    std::vector<double> sine(kRate);
    for (std::size_t n = 0; n < sine.size(); ++n)
        sine[n] = 0.5 * std::sin(2.0 * kPi * kHz * static_cast<double>(n) / kRate);
    const auto path = sndfileWrite("whole48k.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, kRate, sine);
    eLibrary::ConvertedIrFile file(path);
    std::vector<double> whole;
    ASSERT_TRUE(file.readWhole(0, whole));
    EXPECT_NEAR(static_cast<double>(whole.size()), 44100.0, 1.0);
    // Away from both ends, where the resampler's filter sees only part of the signal.
    for (std::size_t n = 1000; n + 1000 < whole.size(); ++n)
        ASSERT_NEAR(whole[n], 0.5 * 32767.0 * std::sin(2.0 * kPi * kHz * static_cast<double>(n) / 44100.0), 1.0)
            << "sample " << n;

    // A shorter read is the start of the full one; the mono file's channel 1 is silence as long as channel 0.
    std::vector<double> start;
    ASSERT_TRUE(file.readWhole(0, start, 1000));
    EXPECT_EQ(start, std::vector<double>(whole.begin(), whole.begin() + 1000));
    std::vector<double> second;
    ASSERT_TRUE(file.readWhole(1, second));
    EXPECT_EQ(second, std::vector<double>(whole.size(), 0.0));
}

// ---- Analysis -------------------------------------------------------------------------------------------------

TEST(IrFigures, LeadingSilenceIsBeforeTheFirstSampleWithin60DbOfThePeak)
{
    struct Case {
        const char* name;
        std::vector<double> ir;
        std::size_t silence;
    };
    auto withBefore = [](std::size_t delay, double level, std::size_t from) {
        std::vector<double> h(delay + 500, 0.0);
        h[delay] = -20000.0;
        for (std::size_t i = from; i < delay; ++i)
            h[i] = 20000.0 * level;
        return h;
    };
    const std::vector<Case> cases{
        {"impulse at 0", withBefore(0, 0.0, 0), 0},
        {"impulse at 1", withBefore(1, 0.0, 0), 1},
        {"impulse at 221", withBefore(221, 0.0, 0), 221},
        {"noise 70 dB down before it is silence", withBefore(3000, std::pow(10.0, -70.0 / 20.0), 100), 3000},
        {"a sound 50 dB down before it is not", withBefore(3000, std::pow(10.0, -50.0 / 20.0), 100), 100},
        {"exactly 60 dB down counts as sound", withBefore(400, 1e-3, 300), 300},
        {"silence", std::vector<double>(100, 0.0), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const eLibrary::IrMeasures m = eLibrary::measureIr(c.ir);
        EXPECT_EQ(m.leadingSilence, c.silence);
        EXPECT_DOUBLE_EQ(m.leadingSilenceMs, static_cast<double>(c.silence) / 44.1);
    }
}

// h[n] = A a^n for n < L: the taps keep (1 - a^4096) / (1 - a^2L) of the energy; the peak is A at 0; the taps'
// RMS is A sqrt((1 - a^4096) / ((1 - a^2) 2048)).
TEST(IrFigures, DecayingExponentialAgainstClosedForms)
{
    struct Case {
        double a;
        std::size_t length;
    };
    const double amplitude = 16384.0; // -6.02 dBFS
    for (const Case& c : {Case{0.999, 20000}, Case{0.9995, 3000}, Case{0.9999, 441000}, Case{0.99, 1500}}) {
        SCOPED_TRACE("a = " + std::to_string(c.a) + ", L = " + std::to_string(c.length));
        const auto h = decaying(amplitude, c.a, c.length);
        const eLibrary::IrAnalysis r = eLibrary::analyseIr(h);
        const double kept = c.length <= kTapCount
                                ? 1.0
                                : (1.0 - std::pow(c.a, 2.0 * kTapCount)) / (1.0 - std::pow(c.a, 2.0 * c.length));
        EXPECT_NEAR(r.tapsEnergyShare, kept, 1e-9);
        EXPECT_NEAR(r.tapsEnergyPercent(), 100.0 * kept, 1e-7);
        EXPECT_NEAR(r.tapsEnergyDb(), 10.0 * std::log10(kept), 1e-7);
        EXPECT_EQ(r.whole.length, c.length);
        EXPECT_NEAR(r.whole.lengthMs, static_cast<double>(c.length) / 44.1, 1e-9);
        EXPECT_EQ(r.taps.length, kTapCount);
        EXPECT_EQ(r.whole.peakPosition, 0u);
        EXPECT_EQ(r.whole.leadingSilence, 0u);
        EXPECT_NEAR(r.taps.peakDbfs, 20.0 * std::log10(0.5), 1e-9);
        const std::size_t inTaps = std::min(c.length, kTapCount);
        const double rms = amplitude * std::sqrt((1.0 - std::pow(c.a, 2.0 * static_cast<double>(inTaps))) /
                                                 ((1.0 - c.a * c.a) * static_cast<double>(kTapCount)));
        EXPECT_NEAR(r.taps.rmsDbfs, 20.0 * std::log10(rms / 32768.0), 1e-7);
    }
}

TEST(IrFigures, DelayedPeakAndSilence)
{
    auto h = decaying(-30000.0, 0.995, 3000, 221);
    h[300] = 31000.0;
    const eLibrary::IrAnalysis r = eLibrary::analyseIr(h);
    EXPECT_EQ(r.whole.peakPosition, 300u);
    EXPECT_DOUBLE_EQ(r.whole.peak, 31000.0);
    EXPECT_NEAR(r.whole.peakMs, 300.0 / 44.1, 1e-9);
    EXPECT_EQ(r.whole.leadingSilence, 221u);

    const eLibrary::IrAnalysis silent = eLibrary::analyseIr(std::vector<double>(5000, 0.0));
    EXPECT_EQ(silent.tapsEnergyShare, 1.0);
    EXPECT_TRUE(std::isinf(silent.taps.peakDbfs) && silent.taps.peakDbfs < 0);
    EXPECT_TRUE(std::isinf(silent.taps.rmsDbfs) && silent.taps.rmsDbfs < 0);
}

// Short filters with closed-form responses, in dB against a full-scale unit impulse (32768).
TEST(IrFigures, MagnitudeResponseOfKnownFilters)
{
    struct Case {
        const char* name;
        std::vector<double> ir;
        double (*magnitude)(double f); // |H(f)|, f in Hz
    };
    constexpr double fs = 44100.0;
    const std::vector<Case> cases{
        {"two-tap average", {16384.0, 16384.0}, [](double f) { return std::fabs(std::cos(kPi * f / fs)); }},
        {"two-tap difference", {16384.0, -16384.0}, [](double f) { return std::fabs(std::sin(kPi * f / fs)); }},
        {"delayed half-scale impulse", {0.0, 0.0, 0.0, 16384.0}, [](double) { return 0.5; }},
        // 1 + z^-2 at half scale: |cos(2 pi f / fs)|, a zero at fs / 4 that the plot floors.
        {"1 + z^-2", {16384.0, 0.0, 16384.0}, [](double f) { return std::fabs(std::cos(2.0 * kPi * f / fs)); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const eLibrary::MagnitudeResponse r = eLibrary::magnitudeResponse(c.ir);
        ASSERT_EQ(r.frequencyHz.size(), 256u);
        ASSERT_EQ(r.db.size(), 256u);
        EXPECT_DOUBLE_EQ(r.frequencyHz.front(), 20.0);
        EXPECT_NEAR(r.frequencyHz.back(), 20000.0, 1e-9);
        for (std::size_t k = 0; k < r.db.size(); ++k) {
            if (k > 0) {
                ASSERT_NEAR(r.frequencyHz[k] / r.frequencyHz[k - 1], std::pow(1000.0, 1.0 / 255.0), 1e-12);
            }
            const double expected = c.magnitude(r.frequencyHz[k]);
            // Near a zero the dB are steep; compare the magnitudes there.
            if (expected < 0.01) {
                EXPECT_NEAR(std::pow(10.0, r.db[k] / 20.0), expected, 1e-4) << r.frequencyHz[k] << " Hz";
            } else {
                EXPECT_NEAR(r.db[k], 20.0 * std::log10(expected), 0.01) << r.frequencyHz[k] << " Hz";
            }
        }
    }
}

// Sizes for the transforms: even, only 2, 3, 5 and 7 as factors, and the first such at or above what is asked.
TEST(TransformSize, FastSizesAreTheNextEvenSevenSmoothNumbers)
{
    const std::pair<std::size_t, std::size_t> cases[] = {
        {0, 2},     {1, 2},     {2, 2},        {11, 12},        {13, 14},          {23, 24},    {97, 98},
        {121, 126}, {8192, 8192}, {352800, 352800}, {352801, 354294}, {1000001, 1000188},
    };
    for (const auto& [asked, expected] : cases)
        EXPECT_EQ(eLibrary::fft::fastSize(asked), expected) << asked;
}

// ---- Minimum phase --------------------------------------------------------------------------------------------

// The same magnitude within 0.5 dB from 40 Hz to 18 kHz, and the taps keep at least as much of the energy. The
// low-passes pass the whole band compared: the zeros of their stop bands, on the unit circle and more than
// 100 dB down, are below anything 16-bit taps hold.
TEST(MinimumPhase, KeepsTheMagnitudeAndMovesEnergyForward)
{
    struct Case {
        const char* name;
        std::vector<double> ir;
        bool gains; // whether the original's taps lose energy that minimum phase must win back
    };
    const std::vector<Case> cases{
        {"linear-phase low-pass, 6001 taps", windowedSinc(6001, 19000.0, 20000.0), true},
        {"linear-phase low-pass, 255 taps", windowedSinc(255, 20500.0, 20000.0), false},
        {"measured-like, delayed by 2000", [] {
             auto h = measuredLike(6000, 42);
             h.insert(h.begin(), 2000, 0.0);
             return h;
         }(), true},
        {"measured-like, 44100 samples", measuredLike(44100, 4242), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<double> minimum = eLibrary::minimumPhase(c.ir, kTapCount);
        ASSERT_EQ(minimum.size(), std::max(c.ir.size(), kTapCount));
        const auto before = eLibrary::magnitudeResponse(c.ir, 1024, 40.0, 18000.0);
        const auto after = eLibrary::magnitudeResponse(minimum, 1024, 40.0, 18000.0);
        double worst = 0.0;
        for (std::size_t k = 0; k < before.db.size(); ++k)
            worst = std::max(worst, std::fabs(after.db[k] - before.db[k]));
        EXPECT_LE(worst, 0.5);
        const double original = energy(c.ir, kTapCount);
        const double moved = energy(minimum, kTapCount);
        // Parts per million go to the cepstrum's wrap-round in the transform, where a filter has zeros on the
        // unit circle (the low-passes above 20 kHz).
        EXPECT_GE(moved, original * (1.0 - 1e-6)) << moved / original - 1.0;
        if (c.gains) {
            EXPECT_GT(moved, 1.5 * original);
        }
        // Nothing is lost overall either.
        EXPECT_NEAR(energy(minimum), energy(c.ir), 1e-3 * energy(c.ir));
    }
}

// A decaying exponential (one pole inside the unit circle, its zeros too) is minimum phase already.
TEST(MinimumPhase, MinimumPhaseIrComesBackUnchanged)
{
    for (const double a : {0.9, 0.99, 0.998}) {
        SCOPED_TRACE("a = " + std::to_string(a));
        const auto h = decaying(25000.0, a, 4000);
        const auto m = eLibrary::minimumPhase(h);
        ASSERT_EQ(m.size(), h.size());
        double error = 0.0;
        for (std::size_t i = 0; i < h.size(); ++i)
            error += (m[i] - h[i]) * (m[i] - h[i]);
        EXPECT_LE(std::sqrt(error / energy(h)), 1e-3);
    }
}

// ---- Processing -----------------------------------------------------------------------------------------------

// What the processing won: a decay of 0.999 per sample behind 3000 zeros keeps nothing in the file's own first
// 2048 samples; trimmed, the taps hold 1 - 0.999^4096 of its energy (a geometric series), minimum phase too
// (the decay is minimum phase already), and the fade and the loudness, which only scale the taps, do not change it.
TEST(Processing, TheShareKeptIsWhatTheTrimmedAndMinimumPhaseTapsHold)
{
    std::vector<double> whole(3000, 0.0);
    for (int i = 0; i < 20000; ++i)
        whole.push_back(20000.0 * std::pow(0.999, i));
    const double expected = (1.0 - std::pow(0.999, 2 * 2048)) / (1.0 - std::pow(0.999, 2 * 20000));
    struct Case {
        const char* name;
        eLibrary::IrProcessing steps;
        double share;
        double within;
    };
    const Case cases[] = {
        {"nothing trimmed: the fade alone", {.fadeOut = true}, 0.0, 1e-12},
        {"trimmed", {.trimSilence = true}, expected, 1e-9},
        {"trimmed, minimum phase", {.trimSilence = true, .minimumPhase = true}, expected, 1e-3},
        {"every step", {.trimSilence = true, .minimumPhase = true, .fadeOut = true, .matchLoudness = true}, expected,
         1e-3},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(eLibrary::processIr(whole, c.steps).keptShare, c.share, c.within) << c.name;
}

TEST(Processing, TrimDropsTheLeadingSilence)
{
    auto h = decaying(20000.0, 0.99, 3000, 221);
    h[100] = 1.0; // 86 dB down: still silence
    const eLibrary::ProcessedIr p = eLibrary::processIr(h, {.trimSilence = true});
    for (std::size_t i = 0; i < kTapCount; ++i)
        ASSERT_EQ(p.taps[i], eLibrary::roundToCoefficient(h[221 + i])) << "tap " << i;
    EXPECT_EQ(p.applied, std::vector<std::string>{"trimmed 221 samples of leading silence"});

    // Nothing to trim, nothing said.
    EXPECT_TRUE(eLibrary::processIr(decaying(20000.0, 0.99, 3000), {.trimSilence = true}).applied.empty());
}

TEST(Processing, FadeOutIsAHalfHannOverTheLast205Taps)
{
    const std::vector<double> flat(3000, 16000.0);
    const eLibrary::ProcessedIr p = eLibrary::processIr(flat, {.fadeOut = true});
    const std::size_t start = kTapCount - eLibrary::kFadeTaps;
    for (std::size_t i = 0; i < start; ++i)
        ASSERT_EQ(p.taps[i], 16000) << "tap " << i;
    for (std::size_t k = 0; k < eLibrary::kFadeTaps; ++k) {
        const double w = 0.5 * (1.0 + std::cos(kPi * static_cast<double>(k + 1) / eLibrary::kFadeTaps));
        ASSERT_NEAR(p.taps[start + k], 16000.0 * w, 0.5) << "tap " << start + k;
    }
    EXPECT_EQ(p.taps.back(), 0);
    EXPECT_EQ(p.applied, std::vector<std::string>{"faded out"});
}

// Files of different shapes and levels, 12 dB apart and more, come out at the same taps energy: the documented
// +3 dB against one full-scale tap.
TEST(Processing, MatchedLoudnessIsTheSameForEveryFile)
{
    const auto noisy = measuredLike(8000, 5, 12000.0);
    std::vector<double> quieter = noisy;
    for (double& v : quieter)
        v *= 0.25; // 12 dB down
    const std::vector<std::vector<double>> files{noisy, quieter, measuredLike(3000, 99, 300.0),
                                                 decaying(9000.0, 0.99, 20000)};
    const double target = 10.0 * std::log10(32767.0 * 32767.0) + eLibrary::kMatchedEnergyDb;
    for (std::size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE("file " + std::to_string(i));
        const eLibrary::ProcessedIr p = eLibrary::processIr(files[i], {.matchLoudness = true});
        EXPECT_NEAR(10.0 * std::log10(tapsEnergy(p)), target, 0.05);
        EXPECT_EQ(p.note, "");
        EXPECT_EQ(p.applied, std::vector<std::string>{"loudness matched"});
    }
}

// A nearly single impulse would need its largest tap 3 dB over full scale: it is scaled to full scale and the
// note says by how much it falls short of the matched level.
TEST(Processing, LoudnessThatWouldClipIsScaledToFullScale)
{
    for (const double sign : {1.0, -1.0}) {
        SCOPED_TRACE(sign > 0 ? "positive peak" : "negative peak");
        std::vector<double> h(100, 0.0);
        h[10] = sign * 5000.0;
        h[11] = sign * 50.0; // 40 dB down: the impulse holds almost all the energy
        const eLibrary::ProcessedIr p = eLibrary::processIr(h, {.matchLoudness = true});
        EXPECT_EQ(p.taps[10], sign > 0 ? 32767 : -32767);
        EXPECT_EQ(p.taps[11], static_cast<std::int16_t>(sign * 328)); // 32767 / 100, rounded
        // 3 dB less 10 log10(1 + 1e-4) for the second tap's share of the energy.
        EXPECT_EQ(p.note, "scaled 3.0 dB below the matched level so that no tap clips");
        EXPECT_EQ(p.summary(), "loudness matched; scaled 3.0 dB below the matched level so that no tap clips");
    }
}

TEST(Processing, EveryStepInOrder)
{
    auto h = measuredLike(20000, 17);
    h.insert(h.begin(), 221, 0.0);
    const eLibrary::ProcessedIr p =
        eLibrary::processIr(h, {.trimSilence = true, .minimumPhase = true, .fadeOut = true, .matchLoudness = true});
    EXPECT_EQ(p.summary(), "trimmed 221 samples of leading silence, minimum phase, faded out, loudness matched");
    EXPECT_EQ(p.taps.back(), 0);
    const double target = 10.0 * std::log10(32767.0 * 32767.0) + eLibrary::kMatchedEnergyDb;
    EXPECT_NEAR(10.0 * std::log10(tapsEnergy(p)), target, 0.05);

    // Silence stays silence, and says why it is not matched.
    const eLibrary::ProcessedIr silent =
        eLibrary::processIr(std::vector<double>(3000, 0.0),
                            {.trimSilence = true, .minimumPhase = true, .fadeOut = true, .matchLoudness = true});
    EXPECT_TRUE(std::all_of(silent.taps.begin(), silent.taps.end(), [](std::int16_t t) { return t == 0; }));
    EXPECT_FALSE(silent.note.empty());
}
