#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarn::tool {

// One stream of a finished file, as read back without decoding.
struct StreamPackets {
  std::string type;  // "video", "audio", ...
  std::string codec;
  int64_t packets = 0;
  double frameRate = 0;  // r_frame_rate; 0 when unknown
  double seconds = -1;   // the stream's duration; negative when unknown
};

struct ReadBack {
  bool readable = false;  // the file opened and its packets read to its end
  std::vector<StreamPackets> streams;
};

// Reads `file` back with the FFmpeg libraries, counting its packets as `ffprobe -count_packets`
// does, in the tool's own process: no program start at the end of every encode.
ReadBack readBack(const std::string& file);

// The video frames a stream holds. Theora leaves frames that repeat the one before out of the
// file (they take no packet), so there its length at its frame rate counts.
int64_t videoFrames(const StreamPackets& stream);

// "-t" durations as ffmpeg reads them: "[-][HH:]MM:SS[.m...]" or seconds "S[.m...]".
std::optional<double> parseDurationSeconds(const std::string& text);
// Frame rates: "29.97", "07.50", "30000/1001".
std::optional<double> parseRate(const std::string& text);

// The frames an encode writes: the given frames' length, cut at `limitSeconds` ("-t"), at the
// output rate (the input rate when none is given), to the nearest frame.
int64_t expectedVideoFrames(int64_t framesGiven, double inputRate,
                            const std::optional<double>& outputRate,
                            const std::optional<double>& limitSeconds);

// What a complete output holds.
struct Expectation {
  std::string what = "the output";     // how the reasons name the file
  std::optional<int64_t> videoFrames;  // a picture of this many frames, give or take one
  bool sound = false;                  // an audio stream with packets
};

// Empty when `found` is complete, else the reason for the user ("the output movie is
// incomplete: 60 of 90 frames").
std::string whyIncomplete(const ReadBack& found, const Expectation& expected);

}  // namespace tarn::tool
