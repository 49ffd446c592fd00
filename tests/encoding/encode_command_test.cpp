#include "encoding/encode_command.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

EncodeRequest exampleRequest() {
  EncodeRequest request;
  request.exeFolder = "/opt/Tools/Converter";
  request.tempStreamFolder = "/opt/Tools/Converter/TEMP";
  request.outputPath = "/video/result.flv";
  request.frameWidth = 1920;
  request.canvasHeight = 960;
  request.output.resizeIndex = 1;
  request.bitRateIndex = 5;
  request.codecModeIndex = 2;
  request.timePerFrame = 333667;
  request.durationText = "00:01:05.250";
  request.soundPresent = true;
  return request;
}

TEST(EncodeCommand, WorkedExamplesByteForByte) {
  const EncodeCommand flv = encodeCommand(exampleRequest());
  EXPECT_EQ(
      flv.command,
      "\"/opt/Tools/Converter/PLUG-IN/ffmpeg_III.exe\"  -r 29.97 -i "
      "\"/opt/Tools/Converter/TEMP/temp%06d.bmp\" -i \"/opt/Tools/Converter/TEMP/temp.wav\" -ac 2 "
      " -ar 44100  -vcodec libx264 -acodec mp3  -t 00:01:05.250 -b 1500k  -threads 0 -coder 0 "
      "-flags +loop -cmp +chroma -partitions -parti8x8+parti4x4+partp8x8-partp4x4-partb8x8  -subq "
      "3 -me_range 16  -g 250 -keyint_min 25 -sc_threshold 40 -i_qfactor 0.71 -b_strategy 1 "
      "-qcomp 0.6 -qmin 10 -qmax 51 -qdiff 4  -s 1712x848  -crf 22 -qscale 15 -f flv  -y "
      "\"/video/result.flv\"");
  EXPECT_EQ(flv.extension, ".flv");
  EXPECT_EQ(flv.encoderInputPath, "/opt/Tools/Converter/TEMP/temp%06d.bmp");

  EncodeRequest mp4 = exampleRequest();
  mp4.outputPath = "/video/result.mp4";
  mp4.output = {0, 1, 1, 5};
  mp4.bitRateIndex = 0;
  mp4.codecModeIndex = 0;
  mp4.timePerFrame = 0;
  EXPECT_EQ(encodeCommand(mp4).command,
            "\"/opt/Tools/Converter/PLUG-IN/ffmpeg_III.exe\"  -r 30 -i "
            "\"/opt/Tools/Converter/TEMP/temp%06d.bmp\" -i "
            "\"/opt/Tools/Converter/TEMP/temp.wav\" -ac 1  -ar 48000  -r 30  -t 00:01:05.250 "
            "-qscale 5 -f mp4  -y \"/video/result.mp4\"");
}

TEST(EncodeCommand, TheToolGetsEveryPathWholeAsOneArgument) {
  EncodeRequest request = exampleRequest();
  request.exeFolder = "/opt/my apps/conv";
  request.tempStreamFolder = "/t/50% \"off\"";
  request.outputPath = "/o/out q\"uote\nx.mp4 ";
  request.codecModeIndex = 0;
  request.bitRateIndex = 0;
  request.output.resizeIndex = 0;
  const EncodeCommand built = encodeCommand(request);
  EXPECT_EQ(
      built.command,
      "\"/opt/my apps/conv/PLUG-IN/ffmpeg_III.exe\"  -r 29.97 -i \"/t/50% \"off\"/temp%06d.bmp\" "
      "-i \"/t/50% \"off\"/temp.wav\" -ac 2  -ar 44100  -r 30  -t 00:01:05.250 -sameq -qscale 15"
      " -f mp4  -y \"/o/out q\"uote\nx.mp4\"")
      << "the log keeps the legacy text";
  EXPECT_EQ(built.arguments, (std::vector<std::string>{"/opt/my apps/conv/PLUG-IN/ffmpeg_III.exe",
                                                       "-r",
                                                       "29.97",
                                                       "-i",
                                                       "/t/50%% \"off\"/temp%06d.bmp",
                                                       "-i",
                                                       "/t/50% \"off\"/temp.wav",
                                                       "-ac",
                                                       "2",
                                                       "-ar",
                                                       "44100",
                                                       "-r",
                                                       "30",
                                                       "-t",
                                                       "00:01:05.250",
                                                       "-sameq",
                                                       "-qscale",
                                                       "15",
                                                       "-f",
                                                       "mp4",
                                                       "-y",
                                                       "/o/out q\"uote\nx.mp4"}));
  request.outputPath = "-out.webm";
  EXPECT_EQ(encodeCommand(request).arguments.back(), "./-out.webm");
  request.outputPath = "out.mkv";
  EXPECT_TRUE(encodeCommand(request).arguments.empty());
}

TEST(EncodeCommand, ResizeUsesSinglePrecisionFactorsAndTruncates) {
  EXPECT_EQ(sizePiece(0, 1920, 960), "");
  EXPECT_EQ(sizePiece(1, 1920, 960), " -s 1712x848 ");
  EXPECT_EQ(sizePiece(2, 1920, 960), " -s 1536x768 ");
  EXPECT_EQ(sizePiece(3, 1920, 960), " -s 1328x656 ");
  EXPECT_EQ(sizePiece(4, 1920, 960), " -s 1152x576 ");
  EXPECT_EQ(sizePiece(5, 1920, 960), " -s 960x480 ");
  EXPECT_EQ(sizePiece(4, 2000, 1000), " -s 1200x592 ");
}

TEST(EncodeCommand, InputRateMask) {
  EXPECT_EQ(inputRatePiece(333667), " -r 29.97 ");
  EXPECT_EQ(inputRatePiece(400000), " -r 25.00 ");
  EXPECT_EQ(inputRatePiece(1333333), " -r 07.50 ");
  EXPECT_EQ(inputRatePiece(0), " -r 30 ");
}

TEST(EncodeCommand, ExtensionsAudioRatesAndQualityTails) {
  EXPECT_EQ(outputExtension("/a.b/c"), "");
  EXPECT_EQ(outputExtension("C:x.WebM"), ".webm");
  EXPECT_EQ(outputExtension("dir\\name.Mp4"), ".mp4");
  EXPECT_EQ(outputExtension("noext"), "");

  EncodeRequest request = exampleRequest();
  request.output.sampleRateIndex = 1;
  request.outputPath = "/v/x.FLV";
  EXPECT_NE(encodeCommand(request).command.find(" -ac 2  -ar 44100 "), std::string::npos);
  request.outputPath = "/v/x.mov";
  EXPECT_NE(encodeCommand(request).command.find(" -ac 2  -ar 48000 "), std::string::npos);
  request.output.sampleRateIndex = 3;
  EXPECT_NE(encodeCommand(request).command.find(" -ar 22050 "), std::string::npos);
  request.output.sampleRateIndex = 4;
  EXPECT_NE(encodeCommand(request).command.find(" -ar 11025 "), std::string::npos);

  // Auto bit rate and codec mode add nothing between the duration and the size piece.
  request.bitRateIndex = 0;
  request.codecModeIndex = 0;
  EXPECT_NE(encodeCommand(request).command.find(" -t 00:01:05.250 -s 1712x848  -crf 22"),
            std::string::npos);

  request.output.qualityValue = 21;
  request.outputPath = "/v/x.avi";
  const std::string avi = encodeCommand(request).command;
  EXPECT_NE(avi.find(" -vcodec libx264 -acodec pcm_s16le "), std::string::npos);
  EXPECT_NE(avi.find(" -crf 31 -f avi  -y "), std::string::npos);
  request.outputPath = "/v/x.webm";
  EXPECT_NE(encodeCommand(request).command.find(" -qscale 21 -f webm  -y "), std::string::npos);
  request.outputPath = "/v/x.ogv";
  request.output.qualityValue = 0;
  EXPECT_NE(encodeCommand(request).command.find(" -r 30  -t "), std::string::npos);
  EXPECT_NE(encodeCommand(request).command.find(" -sameq -qscale 15 -f ogg  -y "),
            std::string::npos);
  request.outputPath = "/v/x.m4v";
  EXPECT_NE(encodeCommand(request).command.find(" -f m4v "), std::string::npos);
  request.outputPath = "/v/x.ogg";
  EXPECT_NE(encodeCommand(request).command.find(" -f ogg "), std::string::npos);
}

TEST(EncodeCommand, PresetsMissingSoundBlanksAndUnknownExtensions) {
  EncodeRequest request = exampleRequest();
  request.codecModeIndex = 4;
  const std::string max = encodeCommand(request).command;
  EXPECT_NE(max.find("+parti8x8+parti4x4+partp8x8+partp4x4-partb8x8  -subq 8  -me_range 16 -g "
                     "250"),
            std::string::npos);
  EXPECT_NE(max.find(" -qdiff 4 -refs 16  -s "), std::string::npos);
  request.codecModeIndex = 5;
  EXPECT_NE(encodeCommand(request).command.find(" -qdiff 4 -refs 4  -s "), std::string::npos);
  request.codecModeIndex = 1;
  EXPECT_NE(encodeCommand(request).command.find("-partb8x8  -subq 0 -me_range 16  -g 250"),
            std::string::npos);
  request.codecModeIndex = 3;
  EXPECT_NE(encodeCommand(request).command.find(" -coder 1 "), std::string::npos);

  request.soundPresent = false;
  request.outputPath = "  /v/with blanks.mp4  ";
  request.output = {};
  const std::string silent = encodeCommand(request).command;
  EXPECT_NE(silent.find("temp%06d.bmp\"   -r 30  -t "), std::string::npos);
  EXPECT_EQ(silent.find("-ac"), std::string::npos);
  EXPECT_NE(silent.find(" -y \"/v/with blanks.mp4\""), std::string::npos);

  request.outputPath = "/v/x.mkv";
  const EncodeCommand unknown = encodeCommand(request);
  EXPECT_EQ(unknown.command, "");
  EXPECT_EQ(unknown.extension, ".mkv");
}

}  // namespace
}  // namespace tarn
