#pragma once

#include <cstdint>

// Limits that keep a damaged model file from taking the machine down while
// the model library reads it: an absurd element count makes the library ask
// for gigabytes at once, or grow its arrays for minutes. For the lifetime of
// this object the process may map at most kImportAddressSpace bytes (an
// allocation beyond fails at once with std::bad_alloc) and use at most
// cpuSeconds more seconds of processor time (beyond, the kernel sends
// SIGXCPU, which ends the process). The previous limits come back on
// destruction.
//
// Under AddressSanitizer the address space is not limited: its shadow memory
// reserves terabytes of it up front.

constexpr std::uint64_t kImportAddressSpace = 4ull << 30;  // 4 GiB

class ImportLimits {
  public:
    explicit ImportLimits(unsigned long cpuSeconds);
    ~ImportLimits();
    ImportLimits(const ImportLimits&) = delete;
    ImportLimits& operator=(const ImportLimits&) = delete;

    // True when the address-space limit is in force (not under
    // AddressSanitizer, and the system allowed it).
    bool limitsAddressSpace() const { return addressSpaceSet_; }

  private:
    bool addressSpaceSet_ = false;
    bool cpuSet_ = false;
    std::uint64_t oldAddressSpace_ = 0;
    std::uint64_t oldCpu_ = 0;
};

// Processor-time allowance for reading a file of this many bytes: five
// seconds, plus one per megabyte.
unsigned long importCpuSeconds(std::uint64_t fileBytes);
