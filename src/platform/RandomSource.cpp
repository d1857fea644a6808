#include "RandomSource.h"

#include <chrono>
#include <random>

namespace {

std::mt19937 &engine()
{
    static std::mt19937 e(std::random_device{}());
    return e;
}

std::function<double()> &pinned()
{
    static std::function<double()> f;
    return f;
}

} // namespace

namespace RandomSource {

double next()
{
    if (pinned())
        return pinned()();
    return std::uniform_real_distribution<double>(0.0, 1.0)(engine());
}

void reseedFromClock()
{
    engine().seed(std::uint32_t(std::chrono::steady_clock::now().time_since_epoch().count()));
}

void pin(std::function<double()> source) { pinned() = std::move(source); }
void unpin() { pinned() = nullptr; }

} // namespace RandomSource
