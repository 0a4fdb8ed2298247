#pragma once
#include <chrono>

namespace ternova {

// A time limit on work done for a picture file from outside: a crafted file can be cheap to
// store and ruinous to draw (a few bytes per ellipse as large as the coordinates allow), and it
// must not hold the window.
class WorkBudget {
 public:
  explicit WorkBudget(std::chrono::steady_clock::duration limit)
      : end_(std::chrono::steady_clock::now() + limit) {}

  // True once the time is up, and from then on.
  bool Spent() {
    if (!spent_) spent_ = std::chrono::steady_clock::now() >= end_;
    return spent_;
  }

 private:
  std::chrono::steady_clock::time_point end_;
  bool spent_ = false;
};

}  // namespace ternova
