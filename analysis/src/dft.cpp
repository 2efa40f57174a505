#include "analysis/signal_check.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace varnika::analysis {

namespace {

// FFTW's planner is not re-entrant; executing a plan is, on any arrays of the plan's alignment.
std::mutex& planner_lock() {
    static std::mutex lock;
    return lock;
}

using Plan = std::shared_ptr<std::remove_pointer_t<fftw_plan>>;

struct PlanKey {
    int size = 0;
    int sign = 0;
    bool in_place = false;
    int input_alignment = 0;
    int output_alignment = 0;
    bool operator==(const PlanKey&) const = default;
};

// Planning a transform of a frame's length costs more than running it (the twiddle factors of millions
// of points), and a check makes the same few transforms every time: the plans are kept, the most recently
// used first, a dozen at most. A check uses about eight (lengths and directions, in place or not), and
// all of them over and over: fewer kept would push each out before its next use.
struct PlanCache {
    std::vector<std::pair<PlanKey, Plan>> plans;
};
constexpr std::size_t kept_plans = 12;

// The plan for `key`, made on the caller's arrays when it is not kept yet. A plan pushed out of the cache
// is handed back in `evicted`, to be let go of once the planner's lock is released.
Plan plan_for(const PlanKey& key, fftw_complex* input, fftw_complex* output, Plan& evicted) {
    std::lock_guard guard(planner_lock());
    // Never destroyed: plans may still be in use while the program ends.
    static auto* cache = new PlanCache;
    auto& plans = cache->plans;
    const auto found =
        std::find_if(plans.begin(), plans.end(), [&key](const auto& entry) { return entry.first == key; });
    if (found != plans.end()) {
        std::rotate(plans.begin(), found, found + 1);
        return plans.front().second;
    }
    // Planning with FFTW_ESTIMATE never touches the arrays, so the plan is made on the caller's own.
    const unsigned flags = FFTW_ESTIMATE | (key.in_place ? 0U : unsigned{FFTW_PRESERVE_INPUT});
    fftw_plan made = fftw_plan_dft_1d(key.size, input, output, key.sign, flags);
    if (made == nullptr) {
        throw std::runtime_error("the transform of " + std::to_string(key.size) +
                                 " points cannot be planned");
    }
    Plan plan(made, [](fftw_plan p) {
        std::lock_guard destroy_guard(planner_lock());
        fftw_destroy_plan(p);
    });
    plans.insert(plans.begin(), {key, plan});
    if (plans.size() > kept_plans) {
        evicted = std::move(plans.back().second);
        plans.pop_back();
    }
    return plan;
}

void run_dft(const Complex* in, Complex* out, std::size_t size, int sign) {
    if (size == 0) {
        return;
    }
    if (size > static_cast<std::size_t>(INT32_MAX)) {
        throw std::runtime_error("the transform of " + std::to_string(size) + " points cannot be planned");
    }
    // FFTW reads but never writes the input of an out-of-place plan made with FFTW_PRESERVE_INPUT.
    auto* input = reinterpret_cast<fftw_complex*>(const_cast<Complex*>(in));
    auto* output = reinterpret_cast<fftw_complex*>(out);
    const PlanKey key{static_cast<int>(size), sign, in == out,
                      fftw_alignment_of(reinterpret_cast<double*>(input)),
                      fftw_alignment_of(reinterpret_cast<double*>(output))};
    Plan evicted;
    const Plan plan = plan_for(key, input, output, evicted);
    evicted.reset();
    fftw_execute_dft(plan.get(), input, output);
}

} // namespace

void forward_dft(std::span<Complex> data) {
    run_dft(data.data(), data.data(), data.size(), FFTW_FORWARD);
}

void inverse_dft(std::span<Complex> data) {
    run_dft(data.data(), data.data(), data.size(), FFTW_BACKWARD);
}

void forward_dft(std::span<const Complex> input, std::span<Complex> output) {
    if (input.size() != output.size()) {
        throw std::invalid_argument("a transform's input and output differ in length");
    }
    run_dft(input.data(), output.data(), input.size(), FFTW_FORWARD);
}

double power_db(double ratio) {
    return ratio > 1e-30 ? 10.0 * std::log10(ratio) : -300.0;
}

} // namespace varnika::analysis
