#pragma once
#include <system_error>
#include <thread>

namespace ternova {

// Runs `there` on a second thread while `here` runs on this one, when the work is `worth` a
// thread and the machine has a second core; otherwise both here, `there` first. Returns when
// both are done. Neither may throw.
template <typename There, typename Here>
void OnTwoCores(bool worth, There&& there, Here&& here) noexcept {
  std::thread other;
  if (worth && std::thread::hardware_concurrency() > 1) {
    try {
      other = std::thread([&there] { there(); });
    } catch (const std::system_error&) {
      // No thread to be had: all of it here.
    }
  }
  if (!other.joinable()) there();
  here();
  if (other.joinable()) other.join();
}

}  // namespace ternova
