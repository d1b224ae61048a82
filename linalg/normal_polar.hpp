// std::normal_distribution<double> of libstdc++ (Marsaglia's polar method,
// whose second value of each accepted pair is saved for the next call),
// drawn from an engine a block at a time: the values its calls would give,
// in their order, and the engine left where they would leave it.
//
// The hot loop is compiled twice, for baseline x86-64 and for AVX2, and
// picked once, as the uniform one is.  Neither copy enables FMA: a
// contracted x*x + y*y would change the results.  log is glibc's scalar
// function, called once per accepted pair; sqrt and the other arithmetic
// are exact IEEE operations at any vector width.
#pragma once

#include "linalg/mt19937_64_blocks.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <random>

namespace zorvak {
namespace random_fill_detail {

// One std::normal_distribution<double> together with the engine it draws
// from.  uniform[i] holds word i's uniform value for i >= engine.next.
struct NormalStream {
    explicit NormalStream(const EngineState& from) : engine(from) {}
    EngineState engine;
    bool uniforms_ready = false;
    bool has_saved = false;
    double saved = 0.0;
    double uniform[state_words];
};

[[gnu::always_inline]] inline void next_block(NormalStream& stream) {
    twist(stream.engine);
    unit_values(stream.engine.word, stream.uniform, state_words);
}

[[gnu::always_inline]] inline double next_uniform(NormalStream& stream) {
    if (stream.engine.next == state_words) next_block(stream);
    return stream.uniform[stream.engine.next++];
}

[[gnu::always_inline]] inline bool polar_accepts(double r2) { return !(r2 > 1.0 || r2 == 0.0); }

// The distribution returns value * stddev + mean with stddev 1 and mean 0.
// Not quite an identity: it turns -0 into +0 (a pair with r2 == 1).
[[gnu::always_inline]] inline double scaled(double value) { return value * 1.0 + 0.0; }

// count values of the stream, in the order its calls would return them.
[[gnu::always_inline]] inline void normal_values(NormalStream& stream, double* out, std::size_t count) {
    EngineState& engine = stream.engine;
    if (!stream.uniforms_ready) {
        unit_values(engine.word + engine.next, stream.uniform + engine.next, state_words - engine.next);
        stream.uniforms_ready = true;
    }
    if (count > 0 && stream.has_saved) {
        *out++ = scaled(stream.saved);
        stream.has_saved = false;
        --count;
    }
    // The pairs of one block: first all candidates, then the accepted ones
    // packed, then their factors; only as many as count needs are taken,
    // and the engine's index stops right after the last pair taken.
    constexpr std::size_t max_pairs = state_words / 2;
    double x[max_pairs], y[max_pairs], r2[max_pairs];
    double kept_x[max_pairs], kept_y[max_pairs], kept_r2[max_pairs], factor[max_pairs];
    std::size_t kept_at[max_pairs];
    while (count > 0) {
        if (engine.next == state_words) next_block(stream);
        const std::size_t pairs = (state_words - engine.next) / 2;
        if (pairs == 0) {
            // One word left: this pair straddles two blocks.
            double px, py, pr2;
            do {
                px = 2.0 * next_uniform(stream) - 1.0;
                py = 2.0 * next_uniform(stream) - 1.0;
                pr2 = px * px + py * py;
            } while (!polar_accepts(pr2));
            const double f = std::sqrt(-2.0 * std::log(pr2) / pr2);
            *out++ = scaled(py * f);
            if (--count == 0) {
                stream.saved = px * f;
                stream.has_saved = true;
            } else {
                *out++ = scaled(px * f);
                --count;
            }
            continue;
        }
        const double* u = stream.uniform + engine.next;
        for (std::size_t j = 0; j < pairs; ++j) {
            x[j] = 2.0 * u[2 * j] - 1.0;
            y[j] = 2.0 * u[2 * j + 1] - 1.0;
            r2[j] = x[j] * x[j] + y[j] * y[j];
        }
        std::size_t kept = 0;
        for (std::size_t j = 0; j < pairs; ++j) {
            kept_x[kept] = x[j];
            kept_y[kept] = y[j];
            kept_r2[kept] = r2[j];
            kept_at[kept] = j;
            kept += polar_accepts(r2[j]);
        }
        const std::size_t wanted = (count + 1) / 2;
        const std::size_t used = std::min(kept, wanted);
        for (std::size_t k = 0; k < used; ++k) factor[k] = std::log(kept_r2[k]);
        for (std::size_t k = 0; k < used; ++k) factor[k] = -2.0 * factor[k] / kept_r2[k];
        for (std::size_t k = 0; k < used; ++k) factor[k] = std::sqrt(factor[k]);
        // Pairs giving both values; with an odd count the last pair gives
        // one and saves the other.
        const std::size_t whole = (used == wanted && count % 2 == 1) ? used - 1 : used;
        for (std::size_t k = 0; k < whole; ++k) {
            out[2 * k] = scaled(kept_y[k] * factor[k]);
            out[2 * k + 1] = scaled(kept_x[k] * factor[k]);
        }
        out += 2 * whole;
        count -= 2 * whole;
        if (whole < used) {
            *out++ = scaled(kept_y[whole] * factor[whole]);
            --count;
            stream.saved = kept_x[whole] * factor[whole];
            stream.has_saved = true;
        }
        engine.next += used == wanted ? 2 * (kept_at[used - 1] + 1) : 2 * pairs;
    }
}

[[gnu::target("avx2")]] inline void normal_values_avx2(NormalStream& stream, double* out, std::size_t count) {
    normal_values(stream, out, count);
}

inline void normal_values_baseline(NormalStream& stream, double* out, std::size_t count) {
    normal_values(stream, out, count);
}

inline void draw_normal(NormalStream& stream, double* out, std::size_t count) {
    if (use_avx2()) {
        normal_values_avx2(stream, out, count);
    } else {
        normal_values_baseline(stream, out, count);
    }
}

// std::normal_distribution<double>'s calls, through the engine's interface.
inline void normal_by_draws(std::mt19937_64& engine, double* out, std::size_t count) {
    double saved = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        if (i % 2 == 1) {
            out[i] = scaled(saved);
            continue;
        }
        double x, y, r2;
        do {
            x = 2.0 * unit_value(engine()) - 1.0;
            y = 2.0 * unit_value(engine()) - 1.0;
            r2 = x * x + y * y;
        } while (!polar_accepts(r2));
        const double f = std::sqrt(-2.0 * std::log(r2) / r2);
        saved = x * f;
        out[i] = scaled(y * f);
    }
}

// A fresh normal distribution on the calling thread's engine.
inline void normal_on_engine(std::mt19937_64& engine, double* out, std::size_t count) {
    if (!layout_known || count < bulk_from) {
        normal_by_draws(engine, out, count);
        return;
    }
    NormalStream stream(state_of(engine));
    draw_normal(stream, out, count);
    restore(engine, stream.engine);
}

}  // namespace random_fill_detail
}  // namespace zorvak
