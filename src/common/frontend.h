#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace tarn {

// What the toolkit-free core asks of whatever shows the converter to a person: the wxWidgets
// window, the console front end, or a recording fake in tests.
//
// Thread contract: unless a method says otherwise it may be called from any thread and returns at
// once; a window implementation hands the change to the window thread (CallAfter) and never makes
// a worker wait for that thread.

struct Rgb {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

// The value labels of the main window's movie information block.
enum class InfoLabel {
  videoFile,
  frameSize,
  fpsRate,
  numFrames,
  duration,
  doughnutSize,
  operation
};

enum class MessageIcon { information, error, warning };
enum class MessageButtons { ok, okCancel };
enum class MessageAnswer { ok, cancel };

// One picture for the preview area: width x height pixels of 4 bytes (blue, green, red, unused),
// bottom row first. While a conversion runs, `progressLines` holds the four text lines drawn over
// the picture; otherwise they are empty.
struct PreviewFrame {
  const uint32_t* pixels = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  bool converting = false;
  std::array<std::string, 4> progressLines;
};

// A small window that waits for an encoder run (encode or container conversion).
enum class ProgressWindowKind { encode, conversion };

struct ProgressWindowState {
  std::array<int, 5> squareGreen{};  // green level of each of the five progress squares
  int animationFrame = 0;            // 0 before the first change, then 1..4 ("load1".."load4")
  std::string timeText;              // "" at first, then "Processing time: hh:mm:ss"
  // The main encode's progress as the encoder tool reports it: frames encoded (-1 before the
  // first report), the frames it will write (0 when unknown) and its average rate (0 unknown).
  int64_t encodedFrames = -1;
  int64_t encodeTotal = 0;
  double encodeFramesPerSecond = 0;
};

class ProgressWindow {
 public:
  virtual ~ProgressWindow() = default;
  virtual void update(const ProgressWindowState& state) = 0;
};

class Frontend {
 public:
  virtual ~Frontend() = default;

  virtual void setInfoLabel(InfoLabel label, const std::string& text) = 0;
  // The caption label " Operation:" (text and colours change during a conversion).
  virtual void setOperationCaption(const std::string& text, Rgb textColour, Rgb background) = 0;
  virtual void setProgressStrip(int32_t width, int32_t height) = 0;
  virtual void setLogoStatus(const std::string& text, Rgb textColour, Rgb background) = 0;
  // Logo preview area; `pixels` null (or a logo narrower than 100 pixels) clears it to black.
  virtual void drawLogoPreview(const uint32_t* pixels, int32_t width, int32_t height) = 0;

  // Preview area. The picture is copied (or scaled) before the call returns.
  virtual void drawFramePreview(const PreviewFrame& frame) = 0;
  virtual void drawPreviewTitle() = 0;  // dark grey with "Transform Window"
  virtual void clearPreview() = 0;

  // A message box owned by the main window. On the window thread it is modal and returns the
  // answer; from any other thread it is handed to the window thread and `ok` is returned at once.
  virtual MessageAnswer showMessage(const std::string& text, const std::string& caption,
                                    MessageIcon icon, MessageButtons buttons) = 0;

  // Window thread only: handle one pending window event, else sleep `milliseconds`.
  // On any other thread: sleep.
  virtual void yield(int milliseconds) = 0;

  // Window thread only. The window lives as long as the returned object.
  virtual std::unique_ptr<ProgressWindow> openProgressWindow(ProgressWindowKind kind) = 0;

  // Window thread only: the "Save a Video with another compression" dialog. Returns the chosen
  // output path, or "" when cancelled. It may change the output options (quality, resize) at once.
  virtual std::string showReencodeDialog(const std::string& currentPath) = 0;
};

}  // namespace tarn
