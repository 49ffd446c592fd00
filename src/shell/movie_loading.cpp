#include "shell/movie_loading.h"

#include "conversion/frame_geometry.h"
#include "conversion/timing_text.h"
#include "input/media_probe.h"
#include "input/open_movie.h"
#include "shell/application.h"

namespace tarn {

FrameSourceContext frameSourceContext(Application& app, Frontend& frontend) {
  FrameSourceHooks hooks;
  hooks.refreshPreview = [&app, &frontend] {
    prepareFrameBuffers(app.frameSource, app.frameGeometry, frontend);
  };
  hooks.durationText = [](double seconds) { return formatDuration(seconds); };
  hooks.sound = app.movieSound;
  return FrameSourceContext{app.frameSource, frontend, app.runLog, std::move(hooks)};
}

void probeChosenMovie(Application& app, const std::string& path) {
  std::string description;
  if (probeMovie(path, app.paths.exeFolder, description, app.paths.probeFolder)) {
    app.frameSource.probeText = std::move(description);
  }
}

void openChosenMovie(Application& app, Frontend& frontend, const std::string& path) {
  FrameSourceContext context = frameSourceContext(app, frontend);
  openMovie(context, path);
}

}  // namespace tarn
