// Writes the completion sound: a short two-note chime, 16-bit mono PCM at 22050 Hz.
// Usage: make_ring_wav OUT.wav
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

void Put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(v & 0xff);
  out.push_back(v >> 8);
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xffff);
  Put16(out, v >> 16);
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_ring_wav OUT.wav\n");
    return 2;
  }
  const int rate = 22050;
  const double notes[] = {880.0, 1318.5};  // A5, E6
  const double noteSeconds = 0.35;
  std::vector<int16_t> samples;
  for (double f : notes)
    for (int i = 0; i < static_cast<int>(rate * noteSeconds); ++i) {
      const double t = static_cast<double>(i) / rate;
      const double envelope = std::exp(-6.0 * t) * std::min(1.0, t * 200.0);
      samples.push_back(static_cast<int16_t>(12000.0 * envelope * std::sin(2 * M_PI * f * t)));
    }
  std::vector<uint8_t> out;
  const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
  for (char c : {'R', 'I', 'F', 'F'}) out.push_back(c);
  Put32(out, 36 + dataBytes);
  for (char c : {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '}) out.push_back(c);
  Put32(out, 16);
  Put16(out, 1);         // PCM
  Put16(out, 1);         // mono
  Put32(out, rate);
  Put32(out, rate * 2);  // bytes per second
  Put16(out, 2);         // block align
  Put16(out, 16);        // bits per sample
  for (char c : {'d', 'a', 't', 'a'}) out.push_back(c);
  Put32(out, dataBytes);
  for (int16_t s : samples)
    Put16(out, static_cast<uint16_t>(s));
  FILE* f = std::fopen(argv[1], "wb");
  if (!f || std::fwrite(out.data(), 1, out.size(), f) != out.size()) {
    std::fprintf(stderr, "make_ring_wav: cannot write %s\n", argv[1]);
    return 1;
  }
  return std::fclose(f) == 0 ? 0 : 1;
}
