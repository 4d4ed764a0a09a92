// Writes a settings file of about the given size, with the mix of lines that
// real files have, for the benchmark. The same size gives the same bytes.
//
//   make_settings BYTES OUT
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace {

constexpr const char* kHeads[] = {"XAAR500", "XAAR128", "HP600x600", "HP300", "XAAR500CM", "ZX900"};
constexpr const char* kWords[] = {"Cyan",         "Magenta",   "Yellow",
                                  "Black",        "Heater on", "Bridge A",
                                  "Yes",          "No",        "Line 3 - left bridge",
                                  "Settings V4.2"};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_settings BYTES OUT\n");
    return 2;
  }
  const uint64_t target = std::strtoull(argv[1], nullptr, 10);
  std::FILE* out = std::fopen(argv[2], "wb");
  if (out == nullptr) {
    std::perror(argv[2]);
    return 1;
  }
  std::mt19937_64 rng(target);
  auto pick = [&](uint64_t n) { return rng() % n; };
  std::string line;
  uint64_t written = 0;
  for (uint64_t n = 0; written < target; ++n) {
    line.clear();
    uint64_t kind = pick(1000);
    if (n % 5000 == 0) {
      line = "1000-4=";
      line += kHeads[pick(std::size(kHeads))];
    } else if (kind < 250) {
      line = "4162-" + std::to_string(1 + pick(64)) + "=";
      uint64_t form = pick(10);
      int64_t value = static_cast<int64_t>(pick(form < 5 ? 1000 : 100000));
      if (form == 9) value = -value;
      line += std::to_string(value);
      if (form == 8) line += "." + std::to_string(pick(100));
    } else if (kind < 255) {
      line = pick(2) != 0 ? "9040-1=True" : "9040-1=False";
    } else if (kind < 285) {
      line.clear();  // a blank line
    } else {
      line = std::to_string(1000 + pick(9000)) + "-" + std::to_string(1 + pick(99)) + "=";
      uint64_t form = pick(3);
      if (form == 0)
        line += std::to_string(pick(100000));
      else if (form == 1)
        line += kWords[pick(std::size(kWords))];
      else
        line += std::to_string(pick(1000)) + "." + std::to_string(pick(1000));
    }
    line += "\r\n";
    if (std::fwrite(line.data(), 1, line.size(), out) != line.size()) {
      std::perror(argv[2]);
      return 1;
    }
    written += line.size();
  }
  if (std::fclose(out) != 0) {
    std::perror(argv[2]);
    return 1;
  }
  return 0;
}
