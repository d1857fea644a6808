// Synthesises the bark sound: two short "woof"s as a 16-bit mono PCM WAV file.
// Usage: make_bark OUTPUT.wav
//
// Each woof is a buzzy voice whose pitch drops quickly (the bark's "w" to "f"), shaped by two
// mouth resonances, with a breath of noise at the attack.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

namespace {

constexpr int kRate = 22050;
constexpr double kPi = 3.14159265358979323846;

// A two-pole resonator (band-pass), as in the classic formant synthesiser.
struct Resonator
{
    double a, b, c, y1 = 0, y2 = 0;
    Resonator(double freq, double bandwidth)
    {
        const double r = std::exp(-kPi * bandwidth / kRate);
        c = -r * r;
        b = 2 * r * std::cos(2 * kPi * freq / kRate);
        a = 1 - b - c;
    }
    double step(double x)
    {
        const double y = a * x + b * y1 + c * y2;
        y2 = y1;
        y1 = y;
        return y;
    }
};

void woof(std::vector<double> &out, size_t start, double pitch, double length, std::mt19937 &noise)
{
    std::normal_distribution<double> gauss(0.0, 1.0);
    Resonator f1(720, 160), f2(1500, 220), f3(2600, 300);
    double phase = 0;
    const size_t n = size_t(length * kRate);
    for (size_t i = 0; i < n && start + i < out.size(); ++i) {
        const double t = double(i) / kRate;
        const double f = pitch * (0.72 + 0.55 * std::exp(-t / 0.035));
        phase += f / kRate;
        phase -= std::floor(phase);
        const double buzz = 2 * phase - 1; // sawtooth: all harmonics
        const double attack = 1 - std::exp(-t / 0.004);
        const double decay = std::exp(-t / (length * 0.38));
        const double breath = gauss(noise) * 0.35 * std::exp(-t / 0.02);
        const double x = (buzz + breath) * attack * decay;
        const double voiced = f1.step(x) * 1.0 + f2.step(x) * 0.6 + f3.step(x) * 0.25;
        // A short fade at the end, so the woof does not stop with a click.
        const double left = length - t;
        const double release = left < 0.04 ? 0.5 - 0.5 * std::cos(kPi * left / 0.04) : 1.0;
        out[start + i] += std::tanh(voiced * 2.2) * release;
    }
}

void put16(std::FILE *f, uint16_t v)
{
    std::fputc(v & 0xFF, f);
    std::fputc(v >> 8, f);
}

void put32(std::FILE *f, uint32_t v)
{
    put16(f, uint16_t(v & 0xFFFF));
    put16(f, uint16_t(v >> 16));
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.wav\n", argv[0]);
        return 2;
    }
    std::mt19937 noise(1998);
    std::vector<double> samples(size_t(0.62 * kRate), 0.0);
    woof(samples, size_t(0.01 * kRate), 430, 0.19, noise);
    woof(samples, size_t(0.30 * kRate), 470, 0.22, noise);

    double peak = 0;
    for (double s : samples)
        peak = std::max(peak, std::abs(s));
    const double gain = peak > 0 ? 0.7 / peak : 1; // about -3 dB full scale

    std::FILE *f = std::fopen(argv[1], "wb");
    if (!f) {
        std::perror(argv[1]);
        return 1;
    }
    const uint32_t dataBytes = uint32_t(samples.size() * 2);
    std::fwrite("RIFF", 1, 4, f);
    put32(f, 36 + dataBytes);
    std::fwrite("WAVEfmt ", 1, 8, f);
    put32(f, 16);
    put16(f, 1); // PCM
    put16(f, 1); // mono
    put32(f, kRate);
    put32(f, kRate * 2);
    put16(f, 2);
    put16(f, 16);
    std::fwrite("data", 1, 4, f);
    put32(f, dataBytes);
    for (double s : samples) {
        const long v = std::lround(std::clamp(s * gain, -1.0, 1.0) * 32767);
        put16(f, uint16_t(int16_t(v)));
    }
    return std::fclose(f) == 0 ? 0 : 1;
}
