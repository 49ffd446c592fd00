#include "tool/tool_run_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <sstream>

#include "support/test_media.h"

namespace tarn::test {
namespace fs = std::filesystem;
namespace {

void put32(std::vector<unsigned char>& out, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

std::string shellQuoted(const std::string& text) {
  std::string result = "'";
  for (const char c : text) result += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return result + "'";
}

std::string readFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

void writeFrameFiles(const fs::path& folder, int width, int height, int count, int first) {
  const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
  std::vector<unsigned char> file(54 + pixels, 0);
  file[0] = 'B';
  file[1] = 'M';
  put32(file, 2, static_cast<uint32_t>(file.size()));
  put32(file, 10, 54);
  put32(file, 14, 40);
  put32(file, 18, static_cast<uint32_t>(width));
  put32(file, 22, static_cast<uint32_t>(height));
  file[26] = 1;
  file[28] = 32;
  for (int frame = first; frame < first + count; ++frame) {
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        unsigned char* p = &file[54 + (static_cast<size_t>(y) * width + x) * 4];
        const bool bar = (x + frame * 3) % width < 6;
        p[0] = static_cast<unsigned char>(bar ? 255 : (frame * 37) % 256);
        p[1] = static_cast<unsigned char>(bar ? 255 : (y * 255) / height);
        p[2] = static_cast<unsigned char>(bar ? 255 : (x * 255) / width);
        p[3] = 0;
      }
    }
    char name[32];
    std::snprintf(name, sizeof name, "temp%06d.bmp", frame);
    std::ofstream(folder / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
  }
}

fs::path writeSoundFile(const fs::path& folder, double seconds) {
  const fs::path wav = folder / "temp.wav";
  const std::string command =
      "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i sine=frequency=440:duration=" +
      std::to_string(seconds) + " -ac 2 -ar 44100 -c:a pcm_s16le " + shellQuoted(wav.string());
  EXPECT_EQ(runShell(command), 0);
  return wav;
}

ToolRun runTool(const std::vector<std::string>& arguments, const std::string* path) {
  const ScratchDir scratch;
  std::string command;
  if (path) command = "PATH=" + shellQuoted(*path) + " ";
  command += shellQuoted((binDir() / "PLUG-IN" / "ffmpeg_III.exe").string());
  for (const auto& argument : arguments) command += " " + shellQuoted(argument);
  command += " 2>" + shellQuoted((scratch / "stderr.txt").string()) + " </dev/null";
  ToolRun run;
  run.status = runShell(command);
  run.errorText = readFile(scratch / "stderr.txt");
  return run;
}

std::vector<std::string> mainEncodeArguments(const fs::path& folder, const std::string& rate,
                                             bool withSound, const std::string& tail,
                                             const fs::path& output,
                                             const std::string& audioOptions) {
  std::vector<std::string> args{"-r", rate, "-i", (folder / "temp%06d.bmp").string()};
  if (withSound) {
    args.insert(args.end(), {"-i", (folder / "temp.wav").string()});
    std::istringstream audio(audioOptions);
    for (std::string word; audio >> word;) args.push_back(word);
  }
  std::istringstream words(tail);
  for (std::string word; words >> word;) args.push_back(word);
  args.insert(args.end(), {"-y", output.string()});
  return args;
}

const std::map<std::string, std::string>* ProbeInfo::stream(const std::string& type) const {
  for (const auto& s : streams) {
    const auto found = s.find("codec_type");
    if (found != s.end() && found->second == type) return &s;
  }
  return nullptr;
}

ProbeInfo probeFile(const fs::path& file, bool countFrames) {
  std::string text;
  runShell(std::string("ffprobe -v error ") + (countFrames ? "-count_frames " : "") +
               "-show_entries stream=codec_type,codec_name,width,height,pix_fmt,r_frame_rate,"
               "nb_read_frames,sample_rate,channels:format=format_name,duration "
               "-of flat=s=_ " +
               shellQuoted(file.string()),
           &text);
  ProbeInfo info;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const auto equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string key = line.substr(0, equals);
    std::string value = line.substr(equals + 1);
    if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
    if (key.rfind("format_", 0) == 0) {
      info.format[key.substr(7)] = value;
    } else if (key.rfind("streams_stream_", 0) == 0) {
      const size_t index = std::stoul(key.substr(15));
      const std::string field = key.substr(key.find('_', 15) + 1);
      if (info.streams.size() <= index) info.streams.resize(index + 1);
      info.streams[index][field] = value;
    }
  }
  std::string frameTimes;
  runShell(
      "ffprobe -v error -select_streams v:0 -show_entries frame=best_effort_timestamp_time -of "
      "csv=p=0 " +
          shellQuoted(file.string()),
      &frameTimes);
  const auto* video = info.stream("video");
  if (video && video->count("r_frame_rate")) {
    const std::string& rate = video->at("r_frame_rate");
    const auto slash = rate.find('/');
    const double fps = slash == std::string::npos
                           ? std::stod(rate)
                           : std::stod(rate.substr(0, slash)) / std::stod(rate.substr(slash + 1));
    std::vector<double> times;
    std::istringstream lines(frameTimes);
    for (std::string time; std::getline(lines, time);) {
      if (!time.empty() && time != "N/A") times.push_back(std::stod(time));
    }
    if (!times.empty() && fps > 0) {
      const auto [first, last] = std::minmax_element(times.begin(), times.end());
      info.videoEndSeconds = *last - *first + 1.0 / fps;
    }
  }
  return info;
}

std::string showStreams(const fs::path& file) {
  std::string text;
  runShell("ffprobe -v error -show_streams " + shellQuoted(file.string()), &text);
  return text;
}

}  // namespace tarn::test
