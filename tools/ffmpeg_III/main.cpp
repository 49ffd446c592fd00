// The encoder tool: for now hands its arguments unchanged to the system ffmpeg.
#include <unistd.h>

#include <vector>

int main(int argc, char** argv) {
  std::vector<char*> args{const_cast<char*>("ffmpeg")};
  for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
  args.push_back(nullptr);
  ::execvp("ffmpeg", args.data());
  return 127;
}
