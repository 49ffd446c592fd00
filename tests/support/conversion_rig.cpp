#include "support/conversion_rig.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "input/decode_graph.h"
#include "input/opened_movie.h"
#include "shell/conversion_context.h"

namespace tarn::test {
namespace fs = std::filesystem;

ConversionRig::ConversionRig() {
  app.paths = WorkingPaths::forExeFolder(dir.path());
  app.runLog.setPath(app.paths.logPath);
  app.settings.tempStreamFolder = tempFolder().string();
  app.resampleTables = buildResampleTables();
}

void ConversionRig::useRealEncoderTool() {
  fs::create_directories(dir / "PLUG-IN");
  fs::create_symlink(binDir() / "PLUG-IN" / "ffmpeg_III.exe", dir / "PLUG-IN" / "ffmpeg_III.exe");
}

bool ConversionRig::openMovie(const fs::path& movie) {
  return publishOpenedMovie(app.frameSource, openDecodeGraph(movie), movie.string());
}

ConversionOutcome ConversionRig::convert(Frontend& frontend, const std::string& outputPath,
                                         std::function<void()> framesWritten) {
  ConversionContext context = conversionContext(app, frontend);
  context.framesWritten = std::move(framesWritten);
  return convertMovie(context, outputPath);
}

std::string ConversionRig::log() const {
  std::ifstream in(app.paths.logPath, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

fs::path stripMovie(int32_t width, int32_t height, int seconds, bool sound) {
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  const std::string name =
      "strip-" + size + "-" + std::to_string(seconds) + "s" + (sound ? "" : "-silent") + ".mp4";
  std::string args = "-f lavfi -i testsrc2=size=" + size + ":rate=25 ";
  if (sound) args += "-f lavfi -i sine=frequency=440:sample_rate=44100 ";
  args += "-t " + std::to_string(seconds) + " -c:v libx264 -pix_fmt yuv420p -preset ultrafast ";
  if (sound) args += "-c:a aac -shortest ";
  return generatedMedia(name, args);
}

std::string probeField(const fs::path& movie, const std::string& stream, const std::string& field) {
  std::string output;
  runShell("ffprobe -v error -select_streams " + stream + ":0 -count_frames -show_entries stream=" +
               field + " -of default=noprint_wrappers=1:nokey=1 '" + movie.string() + "'",
           &output);
  while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
  return output;
}

namespace {

double movieSeconds(const std::filesystem::path& movie) {
  std::string output;
  runShell("ffprobe -v error -show_entries format=duration -of csv=p=0 '" + movie.string() + "'",
           &output);
  return output.empty() ? -1.0 : std::stod(output);
}

// The video stream's frame rate (frames per second), 0 when ffprobe cannot tell.
double frameRate(const std::filesystem::path& movie) {
  for (const char* field : {"avg_frame_rate", "r_frame_rate"}) {
    const std::string rate = probeField(movie, "v", field);
    const size_t slash = rate.find('/');
    if (slash == std::string::npos) continue;
    const double numerator = std::stod(rate.substr(0, slash));
    const double denominator = std::stod(rate.substr(slash + 1));
    if (numerator > 0 && denominator > 0) return numerator / denominator;
  }
  return 0.0;
}

}  // namespace

void expectWholeMovie(const std::filesystem::path& input, const std::filesystem::path& output) {
  SCOPED_TRACE(output.filename().string());
  ASSERT_TRUE(std::filesystem::exists(output));
  const int frames = decodedFrames(input);
  ASSERT_GT(frames, 0);
  // Some containers are written at 30 frames per second whatever the input's rate: there every
  // input frame stands for 30 / rate output frames.
  const double inputRate = frameRate(input);
  const double outputRate = frameRate(output);
  ASSERT_GT(inputRate, 0.0);
  ASSERT_GT(outputRate, 0.0);
  EXPECT_NEAR(decodedFrames(output), frames * outputRate / inputRate, 1.0)
      << frames << " frames at " << inputRate << " fps in, " << outputRate << " fps out";
  EXPECT_NEAR(movieSeconds(output), movieSeconds(input), 0.25);
  if (!probeField(input, "a", "codec_type").empty()) {
    EXPECT_EQ(probeField(output, "a", "codec_type"), "audio");
  }
}

}  // namespace tarn::test
