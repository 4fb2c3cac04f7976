// The figures of an impulse response, and the FFTW transforms behind its magnitude response.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "IrAnalysis.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <mutex>
#include <new>
#include <utility>

namespace eLibrary {

namespace fft {

namespace {

std::mutex& plannerLock()
{
    static std::mutex lock;
    return lock;
}

// The plans made so far, by size and direction; kept for the life of the program and given back to FFTW at its
// end, with FFTW's own planner data, so that nothing it allocated outlives it.
class PlanCache {
public:
    ~PlanCache()
    {
        for (auto& [key, plan] : m_plans)
            if (plan)
                fftw_destroy_plan(plan);
        fftw_cleanup();
    }
    fftw_plan& operator[](std::pair<std::size_t, bool> key) { return m_plans[key]; }

private:
    std::map<std::pair<std::size_t, bool>, fftw_plan> m_plans;
};

fftw_plan cachedPlan(std::size_t n, bool forward)
{
    static PlanCache plans;
    const std::lock_guard guard(plannerLock());
    fftw_plan& plan = plans[{n, forward}];
    if (!plan) {
        // Planned on a scratch buffer of the same alignment as every RealTransform's. FFTW_MEASURE would find
        // faster transforms but takes seconds over a long one; FFTW_ESTIMATE costs milliseconds, once.
        double* buffer = fftw_alloc_real(n + 2);
        auto* bins = reinterpret_cast<fftw_complex*>(buffer);
        plan = forward ? fftw_plan_dft_r2c_1d(static_cast<int>(n), buffer, bins, FFTW_ESTIMATE)
                       : fftw_plan_dft_c2r_1d(static_cast<int>(n), bins, buffer, FFTW_ESTIMATE);
        fftw_free(buffer);
    }
    return plan;
}

} // namespace

std::size_t powerOfTwo(std::size_t atLeast)
{
    std::size_t n = 1;
    while (n < atLeast)
        n <<= 1;
    return n;
}

RealTransform::RealTransform(std::size_t n)
    : m_n(std::max<std::size_t>(2, n + (n & 1))), m_buffer(fftw_alloc_real(m_n + 2))
{
    if (!m_buffer)
        throw std::bad_alloc();
    std::fill_n(m_buffer, m_n + 2, 0.0);
}

RealTransform::~RealTransform()
{
    fftw_free(m_buffer);
}

void RealTransform::forward()
{
    fftw_execute_dft_r2c(cachedPlan(m_n, true), m_buffer, reinterpret_cast<fftw_complex*>(m_buffer));
}

void RealTransform::inverse()
{
    fftw_execute_dft_c2r(cachedPlan(m_n, false), reinterpret_cast<fftw_complex*>(m_buffer), m_buffer);
    const double scale = 1.0 / static_cast<double>(m_n);
    for (std::size_t i = 0; i < m_n; ++i)
        m_buffer[i] *= scale;
}

} // namespace fft

namespace {

double dbfs(double units)
{
    return units > 0.0 ? 20.0 * std::log10(units / kFullScaleUnits) : -std::numeric_limits<double>::infinity();
}

} // namespace

std::size_t leadingSilence(std::span<const double> ir)
{
    double peak = 0.0;
    for (double v : ir)
        peak = std::max(peak, std::fabs(v));
    if (peak == 0.0)
        return 0;
    const double threshold = peak * std::pow(10.0, kSilenceDb / 20.0);
    const auto first = std::find_if(ir.begin(), ir.end(), [&](double v) { return std::fabs(v) >= threshold; });
    return static_cast<std::size_t>(first - ir.begin());
}

IrMeasures measureIr(std::span<const double> ir)
{
    IrMeasures m;
    m.length = ir.size();
    m.lengthMs = samplesToMs(static_cast<double>(m.length));
    double largest = 0.0;
    for (std::size_t i = 0; i < ir.size(); ++i) {
        const double magnitude = std::fabs(ir[i]);
        if (magnitude > largest) {
            largest = magnitude;
            m.peakPosition = i;
        }
        m.energy += ir[i] * ir[i];
    }
    m.peak = ir.empty() ? 0.0 : ir[m.peakPosition];
    m.peakMs = samplesToMs(static_cast<double>(m.peakPosition));
    m.leadingSilence = leadingSilence(ir);
    m.leadingSilenceMs = samplesToMs(static_cast<double>(m.leadingSilence));
    m.peakDbfs = dbfs(largest);
    m.rmsDbfs = ir.empty() ? dbfs(0.0) : dbfs(std::sqrt(m.energy / static_cast<double>(ir.size())));
    return m;
}

double IrAnalysis::tapsEnergyDb() const
{
    return tapsEnergyShare > 0.0 ? 10.0 * std::log10(tapsEnergyShare) : -std::numeric_limits<double>::infinity();
}

IrAnalysis analyseIr(std::span<const double> whole)
{
    IrAnalysis a;
    a.whole = measureIr(whole);
    std::vector<double> taps(kTapCount, 0.0);
    std::copy_n(whole.begin(), std::min(whole.size(), kTapCount), taps.begin());
    a.taps = measureIr(taps);
    if (a.whole.energy > 0.0)
        a.tapsEnergyShare = std::min(1.0, a.taps.energy / a.whole.energy);
    return a;
}

MagnitudeResponse magnitudeResponse(std::span<const double> ir, std::size_t points, double lowHz, double highHz)
{
    MagnitudeResponse r;
    if (points == 0 || lowHz <= 0.0 || highHz < lowHz)
        return r;
    const std::size_t n = fft::powerOfTwo(std::max<std::size_t>(ir.size(), 8192));
    fft::RealTransform transform(n);
    std::copy(ir.begin(), ir.end(), transform.samples().begin());
    transform.forward();
    const std::span<const std::complex<double>> bins = transform.bins();
    const double binHz = kIrRate / static_cast<double>(n);
    r.frequencyHz.reserve(points);
    r.db.reserve(points);
    for (std::size_t k = 0; k < points; ++k) {
        const double f =
            points == 1 ? lowHz : lowHz * std::pow(highHz / lowHz, static_cast<double>(k) / static_cast<double>(points - 1));
        const double at = std::clamp(f / binHz, 0.0, static_cast<double>(bins.size() - 1));
        const auto below = std::min(static_cast<std::size_t>(at), bins.size() - 2);
        const double t = at - static_cast<double>(below);
        const double magnitude = (1.0 - t) * std::abs(bins[below]) + t * std::abs(bins[below + 1]);
        r.frequencyHz.push_back(f);
        r.db.push_back(magnitude > 0.0 ? std::max(kResponseFloorDb, 20.0 * std::log10(magnitude / kFullScaleUnits))
                                       : kResponseFloorDb);
    }
    return r;
}

} // namespace eLibrary
