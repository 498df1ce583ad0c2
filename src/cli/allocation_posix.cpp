// Large buffers in huge pages. A whole file and its converted copy are
// first touched page by page; with 4 KiB pages that is one page fault per
// 4 KiB, which on a virtual machine costs several times the conversion
// itself (measured with bench/cli.sh). Linux gives huge pages only to memory
// that asks for them before it is touched, and glibc's malloc does not ask,
// so the program's global operator new does, for large blocks only.
//
// This is the replaceable operator new of the standard library: the same
// new-handler loop (through which the core's out-of-memory handling works),
// with malloc and free underneath.
#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

constexpr std::size_t kLargeBlock = std::size_t{8} << 20;
constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;

// Only whole huge pages inside the block; the rest keeps small pages.
void AdviseHugePages(void* data, std::size_t size) {
  const auto start = reinterpret_cast<std::uintptr_t>(data);
  const auto begin = (start + kHugePage - 1) & ~(kHugePage - 1);
  const auto end = (start + size) & ~(kHugePage - 1);
  if (end > begin) {
    (void)::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
  }
}

}  // namespace

void* operator new(std::size_t size) {
  if (size == 0) {
    size = 1;
  }
  for (;;) {
    if (void* block = std::malloc(size)) {
      if (size >= kLargeBlock) {
        AdviseHugePages(block, size);
      }
      return block;
    }
    const std::new_handler handler = std::get_new_handler();
    if (!handler) {
      throw std::bad_alloc();
    }
    handler();
  }
}

void operator delete(void* block) noexcept {
  std::free(block);
}

void operator delete(void* block, std::size_t) noexcept {
  std::free(block);
}
