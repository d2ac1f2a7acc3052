#pragma once

#include <cstddef>
#include <exception>
#include <functional>
#include <vector>

namespace nimbra {

// Runs work(0) ... work(count - 1) on up to one thread per core, the calling
// thread included, and returns what each threw (null where it succeeded).
// Once an item fails, items after it in order are not started: their outcome
// can no longer be the first failure.
std::vector<std::exception_ptr> forEachConcurrently(std::size_t count, const std::function<void(std::size_t)>& work,
                                                    unsigned maxThreads = 0);

}  // namespace nimbra
