// Times the frame stage of a conversion (decode, canvas, frame files) with the program's own
// conversion run: from the moment the graph is started to the moment every frame file is written.
// The encoder tool's place in its program folder holds frame_sink (built beside this program),
// which extracts no sound and encodes nothing: the run checks for a tool before it starts.
//   frame_stage_bench MOVIE TEMPFOLDER   ->   "frames N seconds S"
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "conversion/conversion_run.h"
#include "input/decode_graph.h"
#include "input/opened_movie.h"
#include "shell/application.h"
#include "shell/conversion_context.h"

namespace {
namespace fs = std::filesystem;
using namespace tarn;
using Clock = std::chrono::steady_clock;

class TimingFrontend : public Frontend {
 public:
  Clock::time_point started;
  void setInfoLabel(InfoLabel, const std::string&) override {}
  void setOperationCaption(const std::string& text, Rgb, Rgb) override {
    if (text == "     RECORD") started = Clock::now();  // the graph runs right after this
  }
  void setProgressStrip(int32_t, int32_t) override {}
  void setLogoStatus(const std::string&, Rgb, Rgb) override {}
  void drawLogoPreview(const uint32_t*, int32_t, int32_t) override {}
  void drawFramePreview(const PreviewFrame&) override {}
  void drawPreviewTitle() override {}
  void clearPreview() override {}
  MessageAnswer showMessage(const std::string& text, const std::string&, MessageIcon,
                            MessageButtons) override {
    if (text.rfind("Output movie was not created.", 0) != 0) {
      std::fprintf(stderr, "%s\n", text.c_str());
    }
    return MessageAnswer::cancel;
  }
  void yield(int milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
  std::unique_ptr<ProgressWindow> openProgressWindow(ProgressWindowKind) override {
    return nullptr;
  }
  std::string showReencodeDialog(const std::string&) override { return {}; }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: frame_stage_bench MOVIE TEMPFOLDER\n");
    return 2;
  }
  const fs::path programFolder = fs::path(argv[2]) / "program";
  fs::create_directories(programFolder / "PLUG-IN");
  std::error_code error;
  const fs::path sink = fs::read_symlink("/proc/self/exe", error).parent_path() / "frame_sink";
  fs::create_symlink(sink, programFolder / "PLUG-IN" / "ffmpeg_III.exe", error);
  if (error) {
    std::fprintf(stderr, "cannot install %s: %s\n", sink.c_str(), error.message().c_str());
    return 1;
  }
  Application app;
  app.paths = WorkingPaths::forExeFolder(programFolder);
  app.settings.tempStreamFolder = argv[2];
  app.resampleTables = buildResampleTables();

  if (!publishOpenedMovie(app.frameSource, openDecodeGraph(argv[1]), argv[1])) {
    std::fprintf(stderr, "cannot open %s\n", argv[1]);
    return 1;
  }

  TimingFrontend frontend;
  ConversionContext context = conversionContext(app, frontend);
  Clock::time_point finished;
  context.framesWritten = [&] { finished = Clock::now(); };
  convertMovie(context, (fs::path(argv[2]) / "unused.mp4").string());
  const std::chrono::duration<double> seconds = finished - frontend.started;
  std::printf("frames %d seconds %.3f\n", app.conversionRun.frameNumber.load(), seconds.count());
  return finished == Clock::time_point{} ? 1 : 0;
}
