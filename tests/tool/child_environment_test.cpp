#include "ffmpeg_III/child_environment.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "ffmpeg_III/ffmpeg_runner.h"

namespace tarn::tool {
namespace {

// glibc's loader lists the allocator settings a program started with this environment gets.
constexpr const char* kLoader = "/lib64/ld-linux-x86-64.so.2";

std::string tunablesSeenByChild() {
  std::string seen;
  runProgram(kLoader, {"--list-tunables"}, {}, nullptr, nullptr,
             [&seen](std::string_view text) { seen += text; });
  return seen;
}

// A program the tool runs gets the allocator settings that keep ffmpeg's picture blocks, as glibc
// reads them; a setting the user made for the same name still wins, and other settings are kept.
TEST(ChildEnvironment, FfmpegKeepsItsPictureBlocksUnlessTheUserSaysOtherwise) {
  if (::access(kLoader, X_OK) != 0) GTEST_SKIP() << "no glibc loader at " << kLoader;
  const char* before = std::getenv("GLIBC_TUNABLES");
  const std::string saved = before ? before : "";

  ::unsetenv("GLIBC_TUNABLES");
  std::string seen = tunablesSeenByChild();
  EXPECT_NE(seen.find("glibc.malloc.mmap_threshold: 0x2000000 "), std::string::npos) << seen;
  EXPECT_NE(seen.find("glibc.malloc.trim_threshold: 0x100000000 "), std::string::npos) << seen;
  EXPECT_NE(seen.find("glibc.malloc.arena_max: 0x1 "), std::string::npos) << seen;
  // Huge pages for the heap would make every partly used 2 MiB resident.
  EXPECT_NE(seen.find("glibc.malloc.hugetlb: 0x0 "), std::string::npos) << seen;

  ::setenv("GLIBC_TUNABLES", "glibc.malloc.arena_max=4:glibc.malloc.tcache_count=9", 1);
  seen = tunablesSeenByChild();
  EXPECT_NE(seen.find("glibc.malloc.arena_max: 0x4 "), std::string::npos) << seen;
  EXPECT_NE(seen.find("glibc.malloc.tcache_count: 0x9 "), std::string::npos) << seen;
  EXPECT_NE(seen.find("glibc.malloc.mmap_threshold: 0x2000000 "), std::string::npos) << seen;

  if (before) {
    ::setenv("GLIBC_TUNABLES", saved.c_str(), 1);
  } else {
    ::unsetenv("GLIBC_TUNABLES");
  }
}

}  // namespace
}  // namespace tarn::tool
