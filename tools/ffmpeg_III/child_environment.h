#pragma once

#include <string>
#include <vector>

namespace tarn::tool {

// The allocator settings ffmpeg runs with. ffmpeg reads every picture from its input pipe into a
// block of megabytes allocated for that picture alone; glibc hands such blocks back to the kernel
// when they are freed, so each picture would land in freshly faulted, zeroed pages (over a second
// of kernel time for ten seconds of 3840x1920). Blocks up to 32 MiB are kept in one heap that is
// not trimmed, so the next picture reuses the pages. The heap stays on small pages: huge pages
// saved page faults but made every partly used 2 MiB of heap resident (100 to 125 MB more in a
// run), and zeroing fresh memory is what costs where memory is handed back to a host.
inline constexpr const char* kFfmpegMallocTunables =
    "glibc.malloc.mmap_threshold=33554432:glibc.malloc.trim_threshold=4294967296:"
    "glibc.malloc.arena_max=1";

// `environment` (a NULL-terminated array like `environ`) as the programs the tool runs get it:
// GLIBC_TUNABLES starts with the settings above, and any the user had set follow them, so the
// user's own settings win (glibc reads them left to right). Other allocators ignore the variable.
std::vector<std::string> childEnvironment(char* const* environment);

}  // namespace tarn::tool
