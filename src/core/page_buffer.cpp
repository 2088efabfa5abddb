#include "core/page_buffer.h"

#if !defined(_WIN32)
#include <sys/mman.h>
#endif

namespace tarnel {

PageBuffer::PageBuffer(std::size_t size) : size_(size) {
#if defined(MAP_POPULATE)
    void* pages = ::mmap(nullptr, size, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (pages != MAP_FAILED) {
        data_ = static_cast<std::uint8_t*>(pages);
        mapped_ = true;
        return;
    }
#endif
    data_ = new std::uint8_t[size]();
}

PageBuffer::~PageBuffer() {
#if defined(MAP_POPULATE)
    if (mapped_) {
        ::munmap(data_, size_);
        return;
    }
#endif
    delete[] data_;
}

}  // namespace tarnel
