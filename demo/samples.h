#pragma once

#include <string>
#include <vector>

namespace quarvel::demo {

// The handsets the demo site knows.
struct Sample {
  std::string serial;
  std::string model;
  std::string warrantyEnd;
};

inline const std::vector<Sample>& Samples() {
  static const std::vector<Sample> samples = {
      {"C39XK0ABHG7F", "iPhone 14 Pro", "2027年3月18日"},
      {"F17ZP1QWN73D", "iPhone 13", "2026年12月30日"},
      {"DNPQ2LL8JCLM", "iPhone 12 mini", "2025年6月2日"},
      {"356789104523673", "iPhone 15", "2027年9月9日"},
      {"012758009896035", "iPhone 11", "2024年1月15日"},
  };
  return samples;
}

inline const Sample* FindSample(const std::string& serial) {
  for (const Sample& sample : Samples())
    if (sample.serial == serial) return &sample;
  return nullptr;
}

}  // namespace quarvel::demo
