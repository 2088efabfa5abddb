#pragma once
// A zero-filled byte buffer whose pages are made present in one step. Where each page faulted
// in on first touch costs several microseconds (virtual machines), that is worth about half a
// millisecond for a 256 KiB image: more than a short command's own conversion.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace tarnel {

class PageBuffer {
  public:
    explicit PageBuffer(std::size_t size);
    ~PageBuffer();
    PageBuffer(const PageBuffer&) = delete;
    PageBuffer& operator=(const PageBuffer&) = delete;

    std::span<std::uint8_t> bytes() { return {data_, size_}; }

  private:
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    [[maybe_unused]] bool mapped_ = false;  // from mmap, else from new[]
};

}  // namespace tarnel
