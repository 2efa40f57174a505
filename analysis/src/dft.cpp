#include "analysis/signal_check.h"

#include <fftw3.h>

#include <cmath>
#include <mutex>
#include <stdexcept>

namespace varnika::analysis {

namespace {

// FFTW's planner is not re-entrant; executing a plan is. Planning with FFTW_ESTIMATE never touches the
// data, so the plan is made on the caller's own buffer.
std::mutex& planner_lock() {
    static std::mutex lock;
    return lock;
}

void transform(std::span<Complex> data, int sign) {
    if (data.empty()) {
        return;
    }
    auto* buffer = reinterpret_cast<fftw_complex*>(data.data());
    fftw_plan plan = nullptr;
    {
        std::lock_guard guard(planner_lock());
        plan = fftw_plan_dft_1d(static_cast<int>(data.size()), buffer, buffer, sign, FFTW_ESTIMATE);
    }
    if (plan == nullptr) {
        throw std::runtime_error("the transform of " + std::to_string(data.size()) +
                                 " points cannot be planned");
    }
    fftw_execute(plan);
    std::lock_guard guard(planner_lock());
    fftw_destroy_plan(plan);
}

} // namespace

void forward_dft(std::span<Complex> data) {
    transform(data, FFTW_FORWARD);
}

void inverse_dft(std::span<Complex> data) {
    transform(data, FFTW_BACKWARD);
}

double power_db(double ratio) {
    return ratio > 1e-30 ? 10.0 * std::log10(ratio) : -300.0;
}

} // namespace varnika::analysis
