#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tarn::test {

// Writes frames `first` .. `first + count - 1` as the converter's frame files (54-byte header,
// BGRA bottom-up) named temp%06d.bmp; each frame's colour and a moving bar identify it.
void writeFrameFiles(const std::filesystem::path& folder, int width, int height, int count,
                     int first = 0);

// A short stereo 44100 Hz "temp.wav" in `folder`.
std::filesystem::path writeSoundFile(const std::filesystem::path& folder, double seconds);

struct ToolRun {
  int status = -1;
  std::string errorText;  // the tool's standard error
};

// Runs the built encoder tool with `arguments` (no shell involved in their meaning); `path`
// replaces PATH when given.
ToolRun runTool(const std::vector<std::string>& arguments, const std::string* path = nullptr);

// The arguments of a main encode as the converter writes them, after the program name:
// "-r RATE -i FOLDER/temp%06d.bmp [-i FOLDER/temp.wav -ac 2 -ar 44100] TAIL -y OUTPUT", where
// TAIL holds the codec, timing and container pieces.
std::vector<std::string> mainEncodeArguments(const std::filesystem::path& folder,
                                             const std::string& rate, bool withSound,
                                             const std::string& tail,
                                             const std::filesystem::path& output,
                                             const std::string& audioOptions = "-ac 2 -ar 44100");

// What ffprobe says about a file: one key=value map per stream, and the format's.
struct ProbeInfo {
  std::map<std::string, std::string> format;
  std::vector<std::map<std::string, std::string>> streams;
  // The length of the first video stream: from its first to its last frame, plus one frame.
  double videoEndSeconds = 0;
  const std::map<std::string, std::string>* stream(const std::string& type) const;
};
ProbeInfo probeFile(const std::filesystem::path& file, bool countFrames = true);

// The whole `ffprobe -show_streams` text of a file.
std::string showStreams(const std::filesystem::path& file);

}  // namespace tarn::test
