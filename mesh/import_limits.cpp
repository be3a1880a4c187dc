#include "mesh/import_limits.h"

#include <sys/resource.h>
#include <sys/time.h>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LUMETRA_MESH_UNDER_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define LUMETRA_MESH_UNDER_ASAN 1
#endif

namespace {

// Lowers the soft limit of `resource` to `wanted` (never above the hard
// limit, never raising it) and remembers the old one.
bool lowerSoftLimit(int resource, rlim_t wanted, std::uint64_t& old) {
    rlimit limit{};
    if (getrlimit(resource, &limit) != 0) return false;
    old = limit.rlim_cur;
    if (limit.rlim_max != RLIM_INFINITY && wanted > limit.rlim_max) wanted = limit.rlim_max;
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur <= wanted) return false;  // already tighter
    limit.rlim_cur = wanted;
    return setrlimit(resource, &limit) == 0;
}

void restoreSoftLimit(int resource, std::uint64_t old) {
    rlimit limit{};
    if (getrlimit(resource, &limit) != 0) return;
    limit.rlim_cur = static_cast<rlim_t>(old);
    setrlimit(resource, &limit);
}

}  // namespace

ImportLimits::ImportLimits(unsigned long cpuSeconds) {
#ifndef LUMETRA_MESH_UNDER_ASAN
    addressSpaceSet_ = lowerSoftLimit(RLIMIT_AS, static_cast<rlim_t>(kImportAddressSpace), oldAddressSpace_);
#endif
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) == 0) {
        const auto used = static_cast<rlim_t>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + 1);
        cpuSet_ = lowerSoftLimit(RLIMIT_CPU, used + cpuSeconds, oldCpu_);
    }
}

ImportLimits::~ImportLimits() {
    if (addressSpaceSet_) restoreSoftLimit(RLIMIT_AS, oldAddressSpace_);
    if (cpuSet_) restoreSoftLimit(RLIMIT_CPU, oldCpu_);
}

unsigned long importCpuSeconds(std::uint64_t fileBytes) {
    return 5 + static_cast<unsigned long>(fileBytes >> 20);
}
