#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/process.h"
#include "encoding/encode_command.h"
#include "encoding/encoded_frames.h"
#include "encoding/tool_command.h"

namespace tarn {

class RunLog;

// The encoder-tool runs of the program and the flags the waiting windows poll.
// Worker threads are owned here and joined (never left detached): the audio thread by
// joinAudioExtraction (after stopAudioExtraction), the main encode by its progress window.
struct EncoderRuns {
  // 1 while a run that a window waits for is in progress; the window sets it before it starts the
  // worker, the worker clears it when its process has ended or failed to start.
  std::atomic<int32_t> encoderRunning{0};
  // 1 once a main encode has begun, until its progress window closes.
  std::atomic<int32_t> encodeStarted{0};
  // 1 from the start of an audio extraction until its process has ended (or failed to start).
  std::atomic<int32_t> audioRunning{0};
  // Whether the last main encode's tool ended with status 0; an output left by a failed encode
  // can be cut short.
  std::atomic<bool> mainEncodeSucceeded{false};

  std::mutex mutex;                            // guards the fields below
  std::shared_ptr<ChildProcess> audioProcess;  // the running audio extraction, if any
  bool audioStopRequested = false;             // a stop that came while the extraction was starting
  std::string encoderInputPath;
  std::string encoderOutputPath;
  // Why the last main encode made no movie (the tool's own reason where it gave one), and what it
  // warned of although the movie was made (the 360 marking could not be written, ...).
  std::string mainEncodeProblem;
  std::vector<std::string> mainEncodeWarnings;
  // The tool's last progress line of the last main encode, read once it has ended.
  std::optional<EncodedFrames> lastEncoded;
  // When set, the main encode's standard error goes to this file (the tool reports there what it
  // passed to ffmpeg); otherwise it is discarded.
  std::optional<std::filesystem::path> mainEncodeReport;
  std::thread audioThread;
  std::thread encodeThread;
  // A main encode started before the frames were all written (see encode_ahead.h).
  struct Ahead {
    std::string command;
    std::shared_ptr<ChildProcess> process;
    std::optional<std::filesystem::path> report;  // its standard error
    bool ownReport = false;                       // the report is ours to delete
    bool framesFollowExport = false;  // the frame stage, not the export, ends its frames
  };
  std::optional<Ahead> encodeAhead;

  EncoderRuns() = default;
  EncoderRuns(const EncoderRuns&) = delete;
  EncoderRuns& operator=(const EncoderRuns&) = delete;
  ~EncoderRuns();  // stops a running extraction and joins every worker
};

// Starts the encoder tool from its argument vector (the program by its exact path, never through a
// shell) as the leader of a process group of its own, so that terminating it ends its ffmpeg too.
ChildProcess startEncoderTool(const std::vector<std::string>& arguments,
                              ChildProcess::Options options);

// Starts the tool as startEncoderTool does and waits for it without a time limit. Returns the exit
// status, or -1 when it could not be started (an empty vector included).
int runEncoderTool(const std::vector<std::string>& arguments,
                   const std::optional<std::filesystem::path>& stderrFile = std::nullopt);

// program folder + "/PLUG-IN/ffmpeg_III.exe -i "movie" -f wav -ar 44100 -ac 2 -acodec pcm_s16le
// -y "temp.wav"" (in the text the tool path unquoted, as the system always wrote it).
ToolCommand audioExtractionCommand(const std::string& exeFolder, const std::string& moviePath,
                                   const std::string& tempStreamFolder);
// The extracted sound: tempStreamFolder + "/temp.wav".
std::string soundFilePath(const std::string& tempStreamFolder);

// Worker procedure: extracts the movie's sound into temp.wav, recording the process so that
// stopAudioExtraction can end it. An entry already named temp.wav is removed first.
void runAudioExtraction(EncoderRuns& runs, const ToolCommand& command);
// Starts runAudioExtraction on the audio worker thread.
void startAudioExtraction(EncoderRuns& runs, const ToolCommand& command);
// Terminates the program's own extraction if it still runs. Any thread.
void stopAudioExtraction(EncoderRuns& runs);
// Waits for the audio worker thread to end.
void joinAudioExtraction(EncoderRuns& runs);

// program folder + "/PLUG-IN/ffmpeg_III.exe -i "input" -sameq -ar 44100 -ac 2 -acodec pcm_s16le -y
// "output"": a copy of one movie in the container its name selects, with 16-bit PCM sound.
ToolCommand containerConversionCommand(const std::string& exeFolder, const std::string& inputPath,
                                       const std::string& outputPath);

// Worker procedure: runs containerConversionCommand for encoderInputPath and encoderOutputPath,
// then clears encoderRunning.
void runConversion(EncoderRuns& runs, const std::string& exeFolder);

// Where the main encode's standard error goes: the report asked for, else a file of our own in the
// temporary folder (`own` set) when that folder exists.
std::optional<std::filesystem::path> mainEncodeReportFile(EncoderRuns& runs,
                                                          const std::string& tempStreamFolder,
                                                          bool& own);

// Worker procedure: sets encodeStarted, builds encodeCommand, logs its two lines, runs it (or
// waits for the encode-ahead of the same command) and clears encoderRunning. Records whether the
// tool ended successfully in mainEncodeSucceeded.
void runMainEncode(EncoderRuns& runs, const EncodeRequest& request, RunLog& log);

}  // namespace tarn
