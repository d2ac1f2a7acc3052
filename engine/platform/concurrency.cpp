#include "engine/platform/concurrency.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace nimbra {

std::vector<std::exception_ptr> forEachConcurrently(std::size_t count, const std::function<void(std::size_t)>& work,
                                                    unsigned maxThreads) {
  std::vector<std::exception_ptr> failures(count);
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> firstFailure{count};
  const auto worker = [&] {
    for (std::size_t i = next++; i < count && i < firstFailure.load(); i = next++) {
      try {
        work(i);
      } catch (...) {
        failures[i] = std::current_exception();
        std::size_t seen = firstFailure.load();
        while (i < seen && !firstFailure.compare_exchange_weak(seen, i)) {
        }
      }
    }
  };
  const unsigned cores = maxThreads != 0 ? maxThreads : std::max(1u, std::thread::hardware_concurrency());
  const std::size_t helpers = std::min<std::size_t>(cores, count) - (count > 0 ? 1 : 0);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < helpers; ++i) threads.emplace_back(worker);
  worker();
  for (std::thread& thread : threads) thread.join();
  return failures;
}

}  // namespace nimbra
