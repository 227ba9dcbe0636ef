// The POSIX layer's large blocks: a block of kLarge bytes or more (a long text from a file, the file
// itself) is taken aligned to a huge page and the kernel is asked to back it with huge pages, so that
// touching it first costs a fault per 2 MiB rather than per 4 KiB. Every other block is malloc's.
// Blocks are freed as any other (operator delete calls free), so only operator new is replaced. Not
// under the address sanitizer, whose own operator delete would take such a block for malloc's.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RECASTER_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) && !defined(RECASTER_SANITIZED)
#define RECASTER_SANITIZED 1
#endif

#ifndef RECASTER_SANITIZED
#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <limits>
#include <new>

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kLarge = std::size_t{8} << 20;

void* TakeLarge(std::size_t size) {
  if (size > std::numeric_limits<std::size_t>::max() - kHugePage) return nullptr;
  const std::size_t rounded = (size + kHugePage - 1) & ~(kHugePage - 1);
  void* block = std::aligned_alloc(kHugePage, rounded);
#ifdef MADV_HUGEPAGE
  if (block != nullptr) static_cast<void>(madvise(block, rounded, MADV_HUGEPAGE));  // a hint only
#endif
  return block;
}

}  // namespace

void* operator new(std::size_t size) {
  for (;;) {
    void* block = size >= kLarge ? TakeLarge(size) : std::malloc(size == 0 ? 1 : size);
    if (block != nullptr) return block;
    const std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) throw std::bad_alloc();
    handler();
  }
}

#endif  // RECASTER_SANITIZED
