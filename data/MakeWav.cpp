// Writes Perchly's alert sound: a short rising two-note chime, 16-bit mono PCM.
// The sound is made from code so the tree carries no binary audio.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {
void Put16(std::vector<unsigned char>& out, uint16_t value) {
    out.push_back(static_cast<unsigned char>(value & 0xFF));
    out.push_back(static_cast<unsigned char>(value >> 8));
}
void Put32(std::vector<unsigned char>& out, uint32_t value) {
    Put16(out, static_cast<uint16_t>(value & 0xFFFF));
    Put16(out, static_cast<uint16_t>(value >> 16));
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.wav\n", argv[0]);
        return 2;
    }
    constexpr uint32_t kRate = 22050;
    constexpr double kPi = 3.14159265358979323846;
    const double notes[] = {880.0, 1318.5};  // A5 then E6
    constexpr double kNoteSeconds = 0.18;

    std::vector<int16_t> samples;
    for (const double frequency : notes) {
        const auto count = static_cast<uint32_t>(kRate * kNoteSeconds);
        for (uint32_t i = 0; i < count; ++i) {
            const double t = static_cast<double>(i) / kRate;
            const double envelope = std::exp(-6.0 * t) * std::min(1.0, i / 200.0);
            const double wave =
                std::sin(2 * kPi * frequency * t) + 0.3 * std::sin(4 * kPi * frequency * t);
            samples.push_back(static_cast<int16_t>(9000.0 * envelope * wave));
        }
    }

    const auto dataBytes = static_cast<uint32_t>(samples.size() * sizeof(int16_t));
    std::vector<unsigned char> file;
    for (const char c : {'R', 'I', 'F', 'F'})
        file.push_back(static_cast<unsigned char>(c));
    Put32(file, 36 + dataBytes);
    for (const char c : {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '})
        file.push_back(static_cast<unsigned char>(c));
    Put32(file, 16);
    Put16(file, 1);  // PCM
    Put16(file, 1);  // mono
    Put32(file, kRate);
    Put32(file, kRate * 2);
    Put16(file, 2);
    Put16(file, 16);
    for (const char c : {'d', 'a', 't', 'a'})
        file.push_back(static_cast<unsigned char>(c));
    Put32(file, dataBytes);
    for (const int16_t sample : samples)
        Put16(file, static_cast<uint16_t>(sample));

    FILE* out = std::fopen(argv[1], "wb");
    if (!out || std::fwrite(file.data(), 1, file.size(), out) != file.size() ||
        std::fclose(out) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
