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

// FFTW's functions for each precision.
template <typename T> struct Fftw;

template <> struct Fftw<double> {
    using Plan = fftw_plan;
    using Complex = fftw_complex;
    static double* alloc(std::size_t n) { return fftw_alloc_real(n); }
    static void free(double* p) { fftw_free(p); }
    static Plan forwardPlan(int n, double* in, Complex* out) { return fftw_plan_dft_r2c_1d(n, in, out, FFTW_ESTIMATE); }
    static Plan inversePlan(int n, Complex* in, double* out) { return fftw_plan_dft_c2r_1d(n, in, out, FFTW_ESTIMATE); }
    static void forward(Plan p, double* in, Complex* out) { fftw_execute_dft_r2c(p, in, out); }
    static void inverse(Plan p, Complex* in, double* out) { fftw_execute_dft_c2r(p, in, out); }
    static void destroy(Plan p) { fftw_destroy_plan(p); }
    static void cleanup() { fftw_cleanup(); }
};

template <> struct Fftw<float> {
    using Plan = fftwf_plan;
    using Complex = fftwf_complex;
    static float* alloc(std::size_t n) { return fftwf_alloc_real(n); }
    static void free(float* p) { fftwf_free(p); }
    static Plan forwardPlan(int n, float* in, Complex* out) { return fftwf_plan_dft_r2c_1d(n, in, out, FFTW_ESTIMATE); }
    static Plan inversePlan(int n, Complex* in, float* out) { return fftwf_plan_dft_c2r_1d(n, in, out, FFTW_ESTIMATE); }
    static void forward(Plan p, float* in, Complex* out) { fftwf_execute_dft_r2c(p, in, out); }
    static void inverse(Plan p, Complex* in, float* out) { fftwf_execute_dft_c2r(p, in, out); }
    static void destroy(Plan p) { fftwf_destroy_plan(p); }
    static void cleanup() { fftwf_cleanup(); }
};

// The plans made so far, by size and direction; kept for the life of the program and given back to FFTW at its
// end, with FFTW's own planner data, so that nothing it allocated outlives it.
template <typename T> class PlanCache {
public:
    using Plan = typename Fftw<T>::Plan;
    ~PlanCache()
    {
        for (auto& [key, plan] : m_plans)
            if (plan)
                Fftw<T>::destroy(plan);
        Fftw<T>::cleanup();
    }
    Plan& operator[](std::pair<std::size_t, bool> key) { return m_plans[key]; }

private:
    std::map<std::pair<std::size_t, bool>, Plan> m_plans;
};

template <typename T> typename Fftw<T>::Plan cachedPlan(std::size_t n, bool forward)
{
    static PlanCache<T> plans;
    const std::lock_guard guard(plannerLock());
    auto& plan = plans[{n, forward}];
    if (!plan) {
        // Planned on a scratch buffer of the same alignment as every transform's. FFTW_MEASURE would find
        // faster transforms but takes seconds over a long one; FFTW_ESTIMATE costs milliseconds, once.
        T* buffer = Fftw<T>::alloc(n + 2);
        auto* bins = reinterpret_cast<typename Fftw<T>::Complex*>(buffer);
        plan = forward ? Fftw<T>::forwardPlan(static_cast<int>(n), buffer, bins)
                       : Fftw<T>::inversePlan(static_cast<int>(n), bins, buffer);
        Fftw<T>::free(buffer);
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

std::size_t fastSize(std::size_t atLeast)
{
    for (std::size_t n = std::max<std::size_t>(2, atLeast + (atLeast & 1));; n += 2) {
        std::size_t rest = n;
        for (const std::size_t prime : {2, 3, 5, 7})
            while (rest % prime == 0)
                rest /= prime;
        if (rest == 1)
            return n;
    }
}

template <typename T>
BasicRealTransform<T>::BasicRealTransform(std::size_t n)
    : m_n(std::max<std::size_t>(2, n + (n & 1))), m_buffer(Fftw<T>::alloc(m_n + 2))
{
    if (!m_buffer)
        throw std::bad_alloc();
    std::fill_n(m_buffer, m_n + 2, T(0));
}

template <typename T> BasicRealTransform<T>::~BasicRealTransform()
{
    Fftw<T>::free(m_buffer);
}

template <typename T> void BasicRealTransform<T>::forward()
{
    Fftw<T>::forward(cachedPlan<T>(m_n, true), m_buffer, reinterpret_cast<typename Fftw<T>::Complex*>(m_buffer));
}

template <typename T> void BasicRealTransform<T>::inverse()
{
    Fftw<T>::inverse(cachedPlan<T>(m_n, false), reinterpret_cast<typename Fftw<T>::Complex*>(m_buffer), m_buffer);
    const T scale = T(1) / static_cast<T>(m_n);
    for (std::size_t i = 0; i < m_n; ++i)
        m_buffer[i] *= scale;
}

template class BasicRealTransform<double>;
template class BasicRealTransform<float>;

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

bool tapsDifferFromFile(std::span<const double> whole, std::span<const double> taps)
{
    const std::size_t first = std::min(whole.size(), taps.size());
    return !std::equal(taps.begin(), taps.begin() + static_cast<std::ptrdiff_t>(first), whole.begin());
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
            points == 1 ? lowHz
                        : lowHz * std::pow(highHz / lowHz, static_cast<double>(k) / static_cast<double>(points - 1));
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
