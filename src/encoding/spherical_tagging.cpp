#include "encoding/spherical_tagging.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <vector>

#include "common/write_all.h"
#include "encoding/mp4_box_tree.h"
#include "encoding/spherical_metadata.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/spherical.h>
}

namespace tarn {
namespace fs = std::filesystem;
namespace {

bool fail(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

bool isSphericalUuid(const Mp4Box& box) {
  return box.type == "uuid" && box.prefix.size() >= 16 &&
         std::memcmp(box.prefix.data(), kSphericalUuid, 16) == 0;
}

void removeChildren(Mp4Box& parent, const std::function<bool(const Mp4Box&)>& unwanted) {
  auto& children = parent.children;
  children.erase(std::remove_if(children.begin(), children.end(), unwanted), children.end());
}

Mp4Box boxFrom(const std::vector<uint8_t>& bytes) {
  return *parseMp4Box(bytes.data(), bytes.size());
}

// The tagged copy of a file, made under a new name of its own beside it (".NAME.XXXXXX.tagging",
// created with O_EXCL, so no other file is ever written through), and put in the file's place
// only when it is whole. A copy that is not put in place is removed.
class TaggedCopy {
 public:
  explicit TaggedCopy(const std::string& original) : original_(original) {
    const fs::path path(original);
    const std::string name = "." + path.filename().string().substr(0, 120) + ".XXXXXX.tagging";
    std::string text = path.has_parent_path() ? (path.parent_path() / name).string() : name;
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    fd_ = ::mkostemps(buffer.data(), static_cast<int>(std::strlen(".tagging")), O_CLOEXEC);
    if (fd_ < 0) {
      error_ = std::string("cannot create a copy beside it: ") + std::strerror(errno);
      return;
    }
    path_ = buffer.data();
  }
  ~TaggedCopy() {
    closeFile();
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  TaggedCopy(const TaggedCopy&) = delete;
  TaggedCopy& operator=(const TaggedCopy&) = delete;

  bool created() const { return !path_.empty(); }
  const std::string& error() const { return error_; }
  const std::string& path() const { return path_; }
  int fd() const { return fd_; }

  // Closes the copy's own descriptor (for a writer that opens the file by name).
  bool closeFile() {
    if (fd_ < 0) return true;
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    return closed;
  }
  bool replaceOriginal(std::string* error) {
    if (!closeFile())
      return fail(error, std::string("cannot write the copy: ") + std::strerror(errno));
    // The file keeps the permissions it had.
    struct stat info {};
    if (::stat(original_.c_str(), &info) == 0) ::chmod(path_.c_str(), info.st_mode & 07777);
    if (::rename(path_.c_str(), original_.c_str()) != 0) {
      return fail(error, std::string("cannot replace the file: ") + std::strerror(errno));
    }
    path_.clear();
    return true;
  }

 private:
  std::string original_;
  std::string path_;
  std::string error_;
  int fd_ = -1;
};

// Copies `count` bytes from `in` at `from` to the end of `out`. On failure `error` says why.
bool copyBytes(std::ifstream& in, uint64_t from, uint64_t count, int out, std::string* error) {
  std::vector<char> chunk(1 << 20);
  in.seekg(static_cast<std::streamoff>(from));
  while (count > 0) {
    const auto part = static_cast<std::streamsize>(std::min<uint64_t>(count, chunk.size()));
    if (!in.read(chunk.data(), part)) return fail(error, "cannot read the file");
    if (!writeAll(out, chunk.data(), static_cast<size_t>(part))) {
      return fail(error, std::string("cannot write the copy: ") + std::strerror(errno));
    }
    count -= static_cast<uint64_t>(part);
  }
  return true;
}

std::string ffmpegError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

struct InputCloser {
  void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};

struct OutputCloser {
  void operator()(AVFormatContext* context) const {
    if (context->pb) avio_closep(&context->pb);
    avformat_free_context(context);
  }
};

struct PacketFree {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

}  // namespace

bool writeSphericalBoxes(const std::string& path, const std::string& stitchingSoftware,
                         std::string* error) {
  std::string why;
  const auto boxes = listTopLevelBoxes(path, &why);
  if (!boxes) return fail(error, why);
  const auto moovAt = std::find_if(boxes->begin(), boxes->end(),
                                   [](const Mp4TopBox& box) { return box.type == "moov"; });
  if (moovAt == boxes->end()) return fail(error, "no moov box");
  const Mp4TopBox moovEntry = *moovAt;
  const bool moovLast = moovAt + 1 == boxes->end();

  std::vector<uint8_t> bytes(static_cast<size_t>(moovEntry.size));
  {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(moovEntry.offset));
    if (!in.read(reinterpret_cast<char*>(bytes.data()),
                 static_cast<std::streamsize>(bytes.size()))) {
      return fail(error, "cannot read the moov box");
    }
  }
  auto moov = parseMp4Box(bytes.data(), bytes.size());
  if (!moov) return fail(error, "malformed moov box");
  const int track = firstVideoTrack(*moov);
  if (track < 0) return fail(error, "no video track");
  Mp4Box& trak = moov->children[static_cast<size_t>(track)];
  Mp4Box* mdia = trak.child("mdia");
  Mp4Box* minf = mdia ? mdia->child("minf") : nullptr;
  Mp4Box* stbl = minf ? minf->child("stbl") : nullptr;
  Mp4Box* stsd = stbl ? stbl->child("stsd") : nullptr;
  // stsd: version, flags and entry count (8 bytes); a visual sample entry: 78 bytes of fields.
  if (!stsd || !stsd->expand(8) || stsd->children.empty()) {
    return fail(error, "no video sample description");
  }
  Mp4Box& entry = stsd->children.front();
  if (!entry.expand(78)) return fail(error, "unreadable video sample entry " + entry.type);

  removeChildren(entry, [](const Mp4Box& b) { return b.type == "st3d" || b.type == "sv3d"; });
  entry.children.push_back(boxFrom(makeSt3dMonoBox()));
  entry.children.push_back(boxFrom(makeSv3dEquirectangularBox(stitchingSoftware)));
  removeChildren(trak, isSphericalUuid);
  trak.children.push_back(boxFrom(makeSphericalUuidBox(stitchingSoftware)));

  const auto delta = static_cast<int64_t>(moov->size()) - static_cast<int64_t>(moovEntry.size);
  const uint64_t moovEnd = moovEntry.offset + moovEntry.size;
  if (!moovLast && !shiftChunkOffsets(*moov, moovEnd, delta)) {
    return fail(error, "chunk offsets would pass 4 GiB");
  }
  std::vector<uint8_t> newMoov;
  newMoov.reserve(static_cast<size_t>(moov->size()));
  moov->write(newMoov);

  // Always through a copy: a write that fails half-way (a full disk) leaves the file as it was.
  TaggedCopy copy(path);
  if (!copy.created()) return fail(error, copy.error());
  {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const auto fileSize = static_cast<uint64_t>(in.tellg());
    if (!copyBytes(in, 0, moovEntry.offset, copy.fd(), error)) return false;
    if (!writeAll(copy.fd(), reinterpret_cast<const char*>(newMoov.data()), newMoov.size())) {
      return fail(error, std::string("cannot write the copy: ") + std::strerror(errno));
    }
    if (!copyBytes(in, moovEnd, fileSize - moovEnd, copy.fd(), error)) return false;
  }
  return copy.replaceOriginal(error);
}

bool writeMatroskaProjection(const std::string& path, std::string* error) {
  AVFormatContext* rawInput = nullptr;
  // "file:" keeps a name with a colon a file name.
  if (avformat_open_input(&rawInput, ("file:" + path).c_str(), nullptr, nullptr) < 0) {
    return fail(error, "FFmpeg cannot open the file");
  }
  std::unique_ptr<AVFormatContext, InputCloser> input(rawInput);
  if (avformat_find_stream_info(input.get(), nullptr) < 0) {
    return fail(error, "FFmpeg cannot read the streams of the file");
  }
  TaggedCopy copy(path);
  if (!copy.created()) return fail(error, copy.error());
  copy.closeFile();
  const std::string partial = "file:" + copy.path();
  const char* muxer = fs::path(path).extension() == ".webm" ? "webm" : "matroska";
  AVFormatContext* rawOutput = nullptr;
  if (avformat_alloc_output_context2(&rawOutput, nullptr, muxer, partial.c_str()) < 0) {
    return fail(error, "no Matroska muxer");
  }
  std::unique_ptr<AVFormatContext, OutputCloser> output(rawOutput);
  output->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;
  bool tagged = false;
  for (unsigned i = 0; i < input->nb_streams; ++i) {
    const AVStream* source = input->streams[i];
    AVStream* stream = avformat_new_stream(output.get(), nullptr);
    if (!stream || avcodec_parameters_copy(stream->codecpar, source->codecpar) < 0) {
      return fail(error, "cannot copy stream " + std::to_string(i));
    }
    stream->codecpar->codec_tag = 0;
    stream->time_base = source->time_base;
    stream->avg_frame_rate = source->avg_frame_rate;
    stream->r_frame_rate = source->r_frame_rate;
    av_dict_copy(&stream->metadata, source->metadata, 0);
    // The first track of each kind plays by default, as ffmpeg itself marks it; the muxer
    // writes the flags it is given, and a stream copy otherwise gives none.
    stream->disposition = source->disposition;
    bool firstOfItsKind = true;
    for (unsigned j = 0; j < i; ++j) {
      if (input->streams[j]->codecpar->codec_type == source->codecpar->codec_type) {
        firstOfItsKind = false;
      }
    }
    if (firstOfItsKind) stream->disposition |= AV_DISPOSITION_DEFAULT;
    if (!tagged && source->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
      size_t size = 0;
      AVSphericalMapping* mapping = av_spherical_alloc(&size);
      if (!mapping) return fail(error, "out of memory");
      mapping->projection = AV_SPHERICAL_EQUIRECTANGULAR;
      if (av_stream_add_side_data(stream, AV_PKT_DATA_SPHERICAL,
                                  reinterpret_cast<uint8_t*>(mapping), size) < 0) {
        av_free(mapping);
        return fail(error, "cannot attach spherical side data");
      }
      tagged = true;
    }
  }
  if (!tagged) return fail(error, "no video stream");
  av_dict_copy(&output->metadata, input->metadata, 0);
  if (const int code = avio_open(&output->pb, partial.c_str(), AVIO_FLAG_WRITE); code < 0) {
    return fail(error, "cannot write the copy: " + ffmpegError(code));
  }
  if (avformat_write_header(output.get(), nullptr) < 0) {
    return fail(error, "the Matroska muxer refused the streams");
  }
  std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
  int status = 0;
  while ((status = av_read_frame(input.get(), packet.get())) >= 0) {
    const AVStream* source = input->streams[packet->stream_index];
    const AVStream* target = output->streams[packet->stream_index];
    av_packet_rescale_ts(packet.get(), source->time_base, target->time_base);
    packet->pos = -1;
    if (const int code = av_interleaved_write_frame(output.get(), packet.get()); code < 0) {
      return fail(error, "cannot write the copy: " + ffmpegError(code));
    }
  }
  if (status != AVERROR_EOF) return fail(error, "cannot read the file: " + ffmpegError(status));
  if (const int code = av_write_trailer(output.get()); code < 0) {
    return fail(error, "cannot write the copy: " + ffmpegError(code));
  }
  if (const int code = avio_closep(&output->pb); code < 0) {
    return fail(error, "cannot write the copy: " + ffmpegError(code));
  }
  input.reset();
  return copy.replaceOriginal(error);
}

}  // namespace tarn
