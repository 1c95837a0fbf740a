#include <sys/resource.h>
#include <unistd.h>

#include "platform/platform.h"

namespace qm {

namespace {
std::string MiB(uint64_t bytes) { return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MiB"; }
}  // namespace

std::string MemoryLimitNote(uint64_t neededBytes) {
  std::string note = MiB(neededBytes) + " needed; ";
  struct rlimit limit {};
  if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
    return note + "the process may use at most " + MiB(limit.rlim_cur);
  }
  const long pages = ::sysconf(_SC_PHYS_PAGES), size = ::sysconf(_SC_PAGESIZE);
  if (pages > 0 && size > 0) {
    return note + "the machine has " + MiB(static_cast<uint64_t>(pages) * static_cast<uint64_t>(size));
  }
  return note + "the machine's memory is unknown";
}

}  // namespace qm
