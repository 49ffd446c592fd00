#include "encoding/mp4_box_tree.h"

#include <algorithm>
#include <array>
#include <fstream>

namespace tarn {
namespace {

constexpr std::array<const char*, 7> kPlainContainers = {"moov", "trak", "mdia", "minf",
                                                         "stbl", "dinf", "edts"};

uint32_t be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[3]);
}

uint64_t be64(const uint8_t* p) {
  return static_cast<uint64_t>(be32(p)) << 32 | be32(p + 4);
}

void putBe32(uint8_t* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

void putBe64(uint8_t* p, uint64_t value) {
  putBe32(p, static_cast<uint32_t>(value >> 32));
  putBe32(p + 4, static_cast<uint32_t>(value));
}

void appendBe32(std::vector<uint8_t>& out, uint32_t value) {
  const size_t at = out.size();
  out.resize(at + 4);
  putBe32(out.data() + at, value);
}

struct BoxHeader {
  std::string type;
  uint64_t headerSize = 8;
  uint64_t size = 0;  // whole box
  bool largeSize = false;
};

// Reads a box header at the start of `available` bytes; a size of 0 means "to the end".
std::optional<BoxHeader> readHeader(const uint8_t* data, uint64_t available) {
  if (available < 8) return std::nullopt;
  BoxHeader header;
  header.type.assign(reinterpret_cast<const char*>(data + 4), 4);
  header.size = be32(data);
  if (header.size == 1) {
    if (available < 16) return std::nullopt;
    header.size = be64(data + 8);
    header.headerSize = 16;
    header.largeSize = true;
  } else if (header.size == 0) {
    header.size = available;
  }
  if (header.size < header.headerSize || header.size > available) return std::nullopt;
  return header;
}

// What a parse may still spend: nesting is bounded so that a file of nested boxes cannot exhaust
// the stack, and the box count so that tiny boxes cannot multiply the memory used.
struct ParseBudget {
  int depthLeft = kMaxBoxDepth;
  size_t boxesLeft = kMaxBoxCount;
};

std::optional<Mp4Box> parseBox(const uint8_t* data, size_t size, ParseBudget& budget);

// Parses the boxes that fill `data` exactly (up to a short all-zero trailer).
std::optional<std::vector<Mp4Box>> parseChildren(const uint8_t* data, size_t size,
                                                 std::vector<uint8_t>* trailer,
                                                 ParseBudget& budget) {
  if (budget.depthLeft <= 0) return std::nullopt;
  --budget.depthLeft;
  std::vector<Mp4Box> children;
  size_t at = 0;
  while (at < size) {
    const size_t left = size - at;
    if (left < 8 && std::all_of(data + at, data + size, [](uint8_t b) { return b == 0; })) {
      if (trailer) trailer->assign(data + at, data + size);
      break;
    }
    const auto header = readHeader(data + at, left);
    if (!header) return std::nullopt;
    auto child = parseBox(data + at, static_cast<size_t>(header->size), budget);
    if (!child) return std::nullopt;
    children.push_back(std::move(*child));
    at += static_cast<size_t>(header->size);
  }
  ++budget.depthLeft;
  return children;
}

bool isPlainContainer(const std::string& type) {
  return std::any_of(kPlainContainers.begin(), kPlainContainers.end(),
                     [&type](const char* name) { return type == name; });
}

// A container's payload is parsed in place, never copied first: each byte is held once, whatever
// the depth.
std::optional<Mp4Box> parseBox(const uint8_t* data, size_t size, ParseBudget& budget) {
  const auto header = readHeader(data, size);
  if (!header || header->size != size || budget.boxesLeft == 0) return std::nullopt;
  --budget.boxesLeft;
  Mp4Box box;
  box.type = header->type;
  box.largeSize = header->largeSize;
  const uint8_t* payload = data + header->headerSize;
  const size_t payloadSize = size - static_cast<size_t>(header->headerSize);
  if (!isPlainContainer(box.type)) {
    box.prefix.assign(payload, payload + payloadSize);
    return box;
  }
  auto children = parseChildren(payload, payloadSize, &box.trailer, budget);
  if (!children) return std::nullopt;
  box.children = std::move(*children);
  box.expanded = true;
  return box;
}

template <typename Box, typename Visit>
void forEachBox(Box& box, const Visit& visit) {
  visit(box);
  for (auto& child : box.children) forEachBox(child, visit);
}

}  // namespace

uint64_t Mp4Box::size() const {
  uint64_t payload = prefix.size() + trailer.size();
  for (const auto& child : children) payload += child.size();
  const bool large = largeSize || payload + 8 > 0xFFFFFFFFull;
  return payload + (large ? 16 : 8);
}

void Mp4Box::write(std::vector<uint8_t>& out) const {
  const uint64_t total = size();
  const bool large = largeSize || total > 0xFFFFFFFFull;
  appendBe32(out, large ? 1 : static_cast<uint32_t>(total));
  out.insert(out.end(), type.begin(), type.end());
  if (large) {
    const size_t at = out.size();
    out.resize(at + 8);
    putBe64(out.data() + at, total);
  }
  out.insert(out.end(), prefix.begin(), prefix.end());
  for (const auto& box : children) box.write(out);
  out.insert(out.end(), trailer.begin(), trailer.end());
}

bool Mp4Box::expand(size_t prefixSize) {
  if (expanded) return true;
  if (prefix.size() < prefixSize) return false;
  std::vector<uint8_t> trailerBytes;
  ParseBudget budget;
  auto parsed =
      parseChildren(prefix.data() + prefixSize, prefix.size() - prefixSize, &trailerBytes, budget);
  if (!parsed) return false;
  children = std::move(*parsed);
  trailer = std::move(trailerBytes);
  prefix.resize(prefixSize);
  expanded = true;
  return true;
}

Mp4Box* Mp4Box::child(const std::string& childType) {
  for (auto& box : children) {
    if (box.type == childType) return &box;
  }
  return nullptr;
}

const Mp4Box* Mp4Box::child(const std::string& childType) const {
  for (const auto& box : children) {
    if (box.type == childType) return &box;
  }
  return nullptr;
}

std::optional<Mp4Box> parseMp4Box(const uint8_t* data, size_t size) {
  ParseBudget budget;
  return parseBox(data, size, budget);
}

std::optional<std::vector<Mp4TopBox>> listTopLevelBoxes(const std::string& path,
                                                        std::string* error) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) {
    if (error) *error = "cannot open " + path;
    return std::nullopt;
  }
  const auto fileSize = static_cast<uint64_t>(in.tellg());
  std::vector<Mp4TopBox> boxes;
  uint64_t at = 0;
  while (at < fileSize) {
    uint8_t bytes[16] = {};
    const uint64_t left = fileSize - at;
    in.seekg(static_cast<std::streamoff>(at));
    in.read(reinterpret_cast<char*>(bytes),
            static_cast<std::streamsize>(std::min<uint64_t>(16, left)));
    const auto header = readHeader(bytes, left);
    if (!header) {
      if (error) *error = "not a sequence of boxes at byte " + std::to_string(at);
      return std::nullopt;
    }
    boxes.push_back(Mp4TopBox{header->type, at, header->size});
    at += header->size;
  }
  if (boxes.empty()) {
    if (error) *error = "empty file";
    return std::nullopt;
  }
  return boxes;
}

std::string trackHandler(const Mp4Box& trak) {
  const Mp4Box* mdia = trak.child("mdia");
  const Mp4Box* hdlr = mdia ? mdia->child("hdlr") : nullptr;
  // version and flags (4), pre_defined (4), handler_type (4)
  if (!hdlr || hdlr->expanded || hdlr->prefix.size() < 12) return {};
  return std::string(reinterpret_cast<const char*>(hdlr->prefix.data() + 8), 4);
}

int firstVideoTrack(const Mp4Box& moov) {
  for (size_t i = 0; i < moov.children.size(); ++i) {
    if (moov.children[i].type == "trak" && trackHandler(moov.children[i]) == "vide") {
      return static_cast<int>(i);
    }
  }
  return -1;
}

bool shiftChunkOffsets(Mp4Box& moov, uint64_t from, int64_t delta) {
  bool fits = true;
  forEachBox(moov, [&](Mp4Box& box) {
    const bool wide = box.type == "co64";
    if ((box.type != "stco" && !wide) || box.expanded || box.prefix.size() < 8) return;
    const uint32_t count = be32(box.prefix.data() + 4);
    const size_t width = wide ? 8 : 4;
    if (box.prefix.size() < 8 + static_cast<size_t>(count) * width) {
      fits = false;
      return;
    }
    for (uint32_t i = 0; i < count; ++i) {
      uint8_t* field = box.prefix.data() + 8 + static_cast<size_t>(i) * width;
      const uint64_t offset = wide ? be64(field) : be32(field);
      if (offset < from) continue;
      const uint64_t moved = offset + static_cast<uint64_t>(delta);
      if (wide) {
        putBe64(field, moved);
      } else if (moved > 0xFFFFFFFFull) {
        fits = false;
      } else {
        putBe32(field, static_cast<uint32_t>(moved));
      }
    }
  });
  return fits;
}

}  // namespace tarn
