// Crest factors of the I and Q components and the peak-to-average power ratio of the complex signal.
#include "wavesave/wavesave.h"

#include "boundary.h"

#include <algorithm>
#include <cmath>
#include <span>

namespace wavesave {
namespace {

// Below this mean power a component counts as zero throughout and its ratio as 1 (0 dB).
constexpr double silent_mean_power = 1e-20;

struct PowerStats {
    double sum = 0.0;
    double peak = 0.0;

    void start(double power) { sum = peak = power; }
    void add(double power) {
        sum += power;
        peak = std::max(peak, power);
    }
    double peak_to_mean_db(std::size_t count) const {
        const double mean = sum / static_cast<double>(count);
        const double ratio = mean > silent_mean_power ? peak / mean : 1.0;
        return 10.0 * std::log10(ratio);
    }
};

void store(double* out, double value) {
    if (out != nullptr) {
        *out = value;
    }
}

} // namespace
} // namespace wavesave

extern "C" int32_t CalcCrestFactor(const IqSample* samples, int32_t count, double* crest_i_db,
                                   double* crest_q_db, double* papr_db) {
    using namespace wavesave;
    return guarded(0, [&] {
        store(crest_i_db, 0.0);
        store(crest_q_db, 0.0);
        store(papr_db, 0.0);
        if (samples == nullptr || count <= 0) {
            return 0;
        }
        const std::span<const IqSample> buffer(samples, static_cast<std::size_t>(count));
        PowerStats power_i, power_q, power_c;
        power_i.start(buffer[0].i * buffer[0].i);
        power_q.start(buffer[0].q * buffer[0].q);
        power_c.start(buffer[0].i * buffer[0].i + buffer[0].q * buffer[0].q);
        for (const IqSample& s : buffer.subspan(1)) {
            const double pi = s.i * s.i;
            const double pq = s.q * s.q;
            power_i.add(pi);
            power_q.add(pq);
            power_c.add(pi + pq);
        }
        store(crest_i_db, power_i.peak_to_mean_db(buffer.size()));
        store(crest_q_db, power_q.peak_to_mean_db(buffer.size()));
        store(papr_db, power_c.peak_to_mean_db(buffer.size()));
        return 0;
    });
}
