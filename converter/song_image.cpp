#include "converter/song_image.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

namespace su::conv {

namespace {

constexpr char kImageMagic[4] = {'S', 'Q', 'S', 'I'};
constexpr char kFileMagic[4] = {'S', 'Q', '2', 'F'};
constexpr std::uint8_t kMetaTempo = 0x51;
constexpr std::uint8_t kMetaTimeSignature = 0x58;
constexpr std::uint8_t kMetaSequenceName = 0x03;
// A delta time in the image takes at most five bytes (32 bits).
constexpr std::size_t kMaxEventBytes = 5 + 2 + 4;

std::uint8_t* PutBe32(std::uint8_t* p, std::uint32_t v) {
  p[0] = std::uint8_t(v >> 24);
  p[1] = std::uint8_t(v >> 16);
  p[2] = std::uint8_t(v >> 8);
  p[3] = std::uint8_t(v);
  return p + 4;
}
std::uint32_t Be32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

// Seven bits per byte, most significant first, the top bit set on all but the last byte.
std::uint8_t* PutVlq(std::uint8_t* p, std::uint32_t v) {
  if (v < 0x80) {
    *p++ = std::uint8_t(v);
    return p;
  }
  int shift = 28;
  while ((v >> shift) == 0) shift -= 7;
  for (; shift > 0; shift -= 7) *p++ = std::uint8_t(0x80 | ((v >> shift) & 0x7F));
  *p++ = std::uint8_t(v & 0x7F);
  return p;
}

bool GetVlq(const std::uint8_t*& p, const std::uint8_t* end, std::uint32_t* value) {
  std::uint64_t v = 0;
  for (int i = 0; i < 5; ++i) {
    if (p == end) return false;
    const std::uint8_t b = *p++;
    v = (v << 7) | (b & 0x7Fu);
    if ((b & 0x80) == 0) {
      if (v > 0xFFFFFFFFu) return false;
      *value = static_cast<std::uint32_t>(v);
      return true;
    }
  }
  return false;
}

bool IsKeptMeta(const MidiEvent& e) {
  return e.kind == MidiKind::Meta && (e.data1 == kMetaTempo || e.data1 == kMetaTimeSignature);
}

// Reads one length-prefixed string of at most `limit` bytes.
bool GetString(const std::uint8_t*& p, const std::uint8_t* end, std::size_t limit, std::string* out) {
  if (p == end) return false;
  const std::size_t length = *p++;
  if (length > limit || length > static_cast<std::size_t>(end - p)) return false;
  out->assign(reinterpret_cast<const char*>(p), length);
  p += length;
  return true;
}

struct ImageHeader {
  std::uint8_t version;
  std::uint8_t flags;
  std::uint16_t division;
  std::uint32_t eventCount;
  std::uint32_t streamLength;
  std::uint32_t endTick;
};

bool GetHeader(const std::uint8_t* data, std::size_t size, ImageHeader* header) {
  if (data == nullptr || size < kImageHeaderSize) return false;
  if (std::memcmp(data, kImageMagic, 4) != 0) return false;
  header->version = data[4];
  header->flags = data[5];
  header->division = std::uint16_t(data[6] << 8 | data[7]);
  header->eventCount = Be32(data + 8);
  header->streamLength = Be32(data + 12);
  header->endTick = Be32(data + 16);
  return header->version == kImageVersion && (header->flags & ~kImageFlagPadded) == 0;
}

// The checksum's tables, made at compile time: table[0] is the classic byte table, and table[k][b] is the
// remainder of byte b followed by k zero bytes, so that eight bytes are folded in with eight independent lookups.
using CrcTables = std::array<std::array<std::uint32_t, 256>, 8>;
constexpr CrcTables MakeCrcTables() {
  CrcTables t{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[0][i] = c;
  }
  for (std::size_t k = 1; k < 8; ++k) {
    for (std::uint32_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
  }
  return t;
}
constexpr CrcTables kCrcTables = MakeCrcTables();

bool StringsFit(const SongInfo& info) {
  return info.title.size() <= kMaxTitleLength && info.modelCode.size() <= kMaxModelCodeLength &&
         info.modelInfo.size() <= kMaxModelInfoLength;
}

std::size_t StringsSize(const SongInfo& info) {
  return 3 + info.title.size() + info.modelCode.size() + info.modelInfo.size();
}

void PutStrings(std::uint8_t* p, const SongInfo& info) {
  for (const std::string* s : {&info.title, &info.modelCode, &info.modelInfo}) {
    *p++ = static_cast<std::uint8_t>(s->size());
    std::memcpy(p, s->data(), s->size());
    p += s->size();
  }
}

// Whether `e` names the song: a sequence or track name made of printable characters once trimmed; the
// name, cut to kMaxTitleLength, goes to `title`.
bool IsTitle(const std::uint8_t* source, const MidiEvent& e, std::string* title) {
  if (e.kind != MidiKind::Meta || e.data1 != kMetaSequenceName) return false;
  const std::uint8_t* text = source + e.offset;
  std::size_t begin = 0;
  std::size_t end = e.length;
  while (begin < end && text[begin] == ' ') ++begin;
  while (end > begin && text[end - 1] == ' ') --end;
  if (begin == end) return false;
  const bool printable =
      std::all_of(text + begin, text + end, [](std::uint8_t c) { return c >= 0x20 && c <= 0x7E; });
  if (!printable) return false;
  title->assign(reinterpret_cast<const char*>(text + begin), std::min(end - begin, kMaxTitleLength));
  return true;
}

// The most bytes the event stream of a file's tracks can take. A kept event's delta is at most the sum of its
// track's deltas since the track's last kept event, so the image's delta bytes are no more than the track's;
// a kept channel message may need its status where the track used running status (one byte more than it
// took), and every channel message takes at least two bytes of the track. Metas take no more than they did.
std::size_t ImageStreamBound(const MidiTracks& t) { return t.trackBytes + t.trackBytes / 2 + kMaxEventBytes; }

// Writes the image's event stream: delta time, then the status (left out when it repeats the last channel
// status), then the data. Events the image does not keep are passed over. Its place in the buffer is kept as
// pointers of its own, so that the bytes it stores cannot be taken to change them.
struct EventWriter {
  EventWriter(std::vector<std::uint8_t>* image, std::size_t start, const std::uint8_t* source)
      : image(image), source(source), start(start), at(image->data() + start),
        limit(image->data() + image->size()) {}

  void Put(const MidiEvent& e) {
    const bool channel = e.kind == MidiKind::Channel;
    if (!channel && !IsKeptMeta(e)) return;
    // Never taken when the buffer was sized by ImageStreamBound; a guard, not a way of growing.
    if (static_cast<std::size_t>(limit - at) < kMaxEventBytes + 1) Grow(image, &at, &limit);
    std::uint8_t* p = PutVlq(at, e.tick - previousTick);
    if (channel) {
      if (e.status != running) *p++ = e.status;
      running = e.status;
      *p++ = e.data1;
      if (ChannelDataLength(e.status) == 2) *p++ = e.data2;
    } else {
      *p++ = 0xFF;
      *p++ = e.data1;
      std::memcpy(p, source + e.offset, e.length);
      p += e.length;
    }
    at = p;
    previousTick = e.tick;
    ++count;
  }

  // Where the stream ends so far.
  std::size_t Used() const { return static_cast<std::size_t>(at - image->data()); }

  static void Grow(std::vector<std::uint8_t>* image, std::uint8_t** at, std::uint8_t** limit) {
    const std::size_t used = static_cast<std::size_t>(*at - image->data());
    image->resize(image->size() * 2 + kMaxEventBytes + 1);
    *at = image->data() + used;
    *limit = image->data() + image->size();
  }

  std::vector<std::uint8_t>* image;
  const std::uint8_t* source;
  std::size_t start;  // where the stream begins
  std::uint8_t* at;
  std::uint8_t* limit;
  std::uint32_t count = 0;
  std::uint32_t previousTick = 0;
  std::uint8_t running = 0;
};

// Pads the image to whole words when asked, fills in its header (at `lead`) and cuts the buffer to its end.
void FinishImage(const EventWriter& writer, const SongInfo& info, std::uint16_t division, std::uint32_t endTick,
                 std::size_t lead, std::vector<std::uint8_t>* image) {
  std::size_t used = writer.Used();
  const std::size_t streamLength = used - writer.start;
  std::uint8_t flags = 0;
  if (info.padToWords && ((used - lead) & 1u) != 0) {
    (*image)[used++] = 0;
    flags |= kImageFlagPadded;
  }
  std::uint8_t* const base = image->data() + lead;
  std::memcpy(base, kImageMagic, 4);
  base[4] = kImageVersion;
  base[5] = flags;
  base[6] = std::uint8_t(division >> 8);
  base[7] = std::uint8_t(division);
  PutBe32(base + 8, writer.count);
  PutBe32(base + 12, static_cast<std::uint32_t>(streamLength));
  PutBe32(base + 16, endTick);
  image->resize(used);
}

// Writes the image of a file's tracks at `lead` in `out`, whose first `lead` bytes are left for the caller.
BuildResult WriteImageAt(const MidiTracks& tracks, const std::string& fallbackTitle, SongInfo* info,
                         std::size_t lead, std::vector<std::uint8_t>* out) {
  info->title.clear();
  if (!StringsFit(*info)) return BuildResult::BadInfo;
  // The title comes from the events, which are walked once: they are written behind room for the longest
  // strings, and moved up to meet the strings once the title is known.
  const std::size_t room = lead + kImageHeaderSize + 3 + kMaxTitleLength + kMaxModelCodeLength + kMaxModelInfoLength;
  out->resize(room + ImageStreamBound(tracks) + 1);
  EventWriter writer(out, room, tracks.source);
  MergedEvents merged(tracks);
  MidiEvent e;
  bool titled = false;
  while (merged.Next(&e)) {
    if (!titled) titled = IsTitle(tracks.source, e, &info->title);
    writer.Put(e);
  }
  if (merged.error() != MidiError::None) {
    out->clear();
    info->title.clear();
    return BuildResult::NotMidi;
  }
  if (!titled) info->title = fallbackTitle.substr(0, kMaxTitleLength);
  const std::size_t start = lead + kImageHeaderSize + StringsSize(*info);
  std::memmove(out->data() + start, out->data() + room, writer.Used() - room);
  writer.at -= room - start;
  writer.start = start;
  PutStrings(out->data() + lead + kImageHeaderSize, *info);
  FinishImage(writer, *info, tracks.division, merged.endTick(), lead, out);
  return BuildResult::Built;
}

// Fills in the song-file header in the first bytes of `file`, the image being all that follows it.
void SealSongFile(std::vector<std::uint8_t>* file) {
  std::uint8_t* const p = file->data();
  const std::size_t imageSize = file->size() - kSongFileHeaderSize;
  std::memcpy(p, kFileMagic, 4);
  p[4] = kSongFileVersion;
  p[5] = 0;
  p[6] = 0;
  p[7] = static_cast<std::uint8_t>(kSongFileHeaderSize);
  PutBe32(p + 8, static_cast<std::uint32_t>(imageSize));
  // The checksum covers the header's first 12 bytes and the whole image.
  std::uint32_t crc = SongCrc32(p, 12);
  crc = SongCrc32(p + kSongFileHeaderSize, imageSize, crc);
  PutBe32(p + 12, crc);
}

}  // namespace

bool operator==(const SongEvent& a, const SongEvent& b) {
  return a.tick == b.tick && a.status == b.status && a.type == b.type && a.size == b.size &&
         std::memcmp(a.data, b.data, a.size) == 0;
}

std::vector<SongEvent> SongEventsOf(const MidiFile& file) {
  std::vector<SongEvent> events;
  events.reserve(file.events.size());
  for (const MidiEvent& e : file.events) {
    SongEvent out;
    out.tick = e.tick;
    if (e.kind == MidiKind::Channel) {
      out.status = e.status;
      out.size = static_cast<std::uint8_t>(ChannelDataLength(e.status));
      out.data[0] = e.data1;
      out.data[1] = out.size == 2 ? e.data2 : 0;
    } else if (IsKeptMeta(e)) {
      out.status = 0xFF;
      out.type = e.data1;
      out.size = static_cast<std::uint8_t>(e.length);
      std::memcpy(out.data, file.source + e.offset, e.length);
    } else {
      continue;
    }
    events.push_back(out);
  }
  return events;
}

std::string SongTitleOf(const MidiFile& file, const std::string& fallback) {
  std::string title;
  for (const MidiEvent& e : file.events) {
    if (IsTitle(file.source, e, &title)) return title;
  }
  return fallback.substr(0, kMaxTitleLength);
}

bool IsWordModel(const std::string& modelCode) {
  std::string code = modelCode;
  for (char& c : code) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return code == "f0" || code == "e1" || code == "e2" || code == "e3";
}

bool WriteSongImage(const MidiFile& file, const SongInfo& info, std::vector<std::uint8_t>* image) {
  if (!StringsFit(info)) return false;
  image->assign(kImageHeaderSize + StringsSize(info) + file.events.size() * kMaxEventBytes + 1, 0);
  PutStrings(image->data() + kImageHeaderSize, info);
  EventWriter writer(image, kImageHeaderSize + StringsSize(info), file.source);
  for (const MidiEvent& e : file.events) writer.Put(e);
  FinishImage(writer, info, file.division, file.endTick, 0, image);
  return true;
}

BuildResult WriteSongImage(const MidiTracks& tracks, const std::string& fallbackTitle, SongInfo* info,
                           std::vector<std::uint8_t>* image) {
  return WriteImageAt(tracks, fallbackTitle, info, 0, image);
}

BuildResult WriteSongFile(const MidiTracks& tracks, const std::string& fallbackTitle, SongInfo* info,
                          std::vector<std::uint8_t>* file) {
  const BuildResult result = WriteImageAt(tracks, fallbackTitle, info, kSongFileHeaderSize, file);
  if (result == BuildResult::Built) SealSongFile(file);
  return result;
}

bool ReadSongImage(const std::uint8_t* data, std::size_t size, SongImage* image) {
  ImageHeader header;
  if (!GetHeader(data, size, &header)) return false;
  const std::uint8_t* p = data + kImageHeaderSize;
  const std::uint8_t* const end = data + size;
  SongImage out;
  out.version = header.version;
  out.division = header.division;
  out.endTick = header.endTick;
  out.padded = (header.flags & kImageFlagPadded) != 0;
  if (!GetString(p, end, kMaxTitleLength, &out.title) ||
      !GetString(p, end, kMaxModelCodeLength, &out.modelCode) ||
      !GetString(p, end, kMaxModelInfoLength, &out.modelInfo)) {
    return false;
  }
  const std::size_t trailing = out.padded ? 1 : 0;
  if (static_cast<std::size_t>(end - p) != static_cast<std::size_t>(header.streamLength) + trailing) {
    return false;
  }
  if (out.padded && (end[-1] != 0 || size % 2 != 0)) return false;
  const std::uint8_t* const streamEnd = p + header.streamLength;

  // Every event takes at least two bytes, so the count is checked against the stream before reserving.
  if (header.eventCount > header.streamLength / 2) return false;
  out.events.reserve(header.eventCount);
  std::uint64_t tick = 0;
  std::uint8_t running = 0;
  while (p < streamEnd) {
    SongEvent e;
    std::uint32_t delta;
    if (!GetVlq(p, streamEnd, &delta)) return false;
    tick += delta;
    if (tick > 0xFFFFFFFFu || p == streamEnd) return false;
    e.tick = static_cast<std::uint32_t>(tick);
    std::uint8_t status = *p;
    if (status == 0xFF) {
      ++p;
      if (p == streamEnd) return false;
      e.status = 0xFF;
      e.type = *p++;
      if (e.type == kMetaTempo) {
        e.size = 3;
      } else if (e.type == kMetaTimeSignature) {
        e.size = 4;
      } else {
        return false;
      }
    } else {
      if (status < 0x80) {
        if (running == 0) return false;
        status = running;
      } else if (status < 0xF0) {
        ++p;
      } else {
        return false;
      }
      running = status;
      e.status = status;
      e.size = static_cast<std::uint8_t>(ChannelDataLength(status));
    }
    if (static_cast<std::size_t>(streamEnd - p) < e.size) return false;
    std::memcpy(e.data, p, e.size);
    if (e.status != 0xFF && std::any_of(e.data, e.data + e.size, [](std::uint8_t b) { return b & 0x80; })) {
      return false;
    }
    p += e.size;
    out.events.push_back(e);
    if (out.events.size() > header.eventCount) return false;
  }
  if (out.events.size() != header.eventCount) return false;
  if (!out.events.empty() && out.events.back().tick > out.endTick) return false;
  *image = std::move(out);
  return true;
}

bool ReadSongImageTitle(const std::uint8_t* data, std::size_t size, std::string* title) {
  ImageHeader header;
  if (!GetHeader(data, size, &header)) return false;
  const std::uint8_t* p = data + kImageHeaderSize;
  return GetString(p, data + size, kMaxTitleLength, title);
}

std::vector<std::uint8_t> WriteSongFile(const std::vector<std::uint8_t>& image) {
  std::vector<std::uint8_t> out(kSongFileHeaderSize + image.size());
  if (!image.empty()) std::memcpy(out.data() + kSongFileHeaderSize, image.data(), image.size());
  SealSongFile(&out);
  return out;
}

bool ReadSongFile(const std::uint8_t* data, std::size_t size, std::size_t* imageOffset,
                  std::size_t* imageSize) {
  if (data == nullptr || size < kSongFileHeaderSize) return false;
  if (std::memcmp(data, kFileMagic, 4) != 0 || data[4] != kSongFileVersion || data[5] != 0) return false;
  const std::size_t headerSize = std::size_t(data[6]) << 8 | data[7];
  if (headerSize != kSongFileHeaderSize) return false;
  const std::uint32_t length = Be32(data + 8);
  if (length != size - kSongFileHeaderSize) return false;
  std::uint32_t crc = SongCrc32(data, 12);
  crc = SongCrc32(data + kSongFileHeaderSize, length, crc);
  if (crc != Be32(data + 12)) return false;
  *imageOffset = kSongFileHeaderSize;
  *imageSize = length;
  return true;
}

std::uint32_t SongCrc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc) {
  const auto& t = kCrcTables;
  std::uint32_t c = ~crc;
  for (; size >= 8; size -= 8, data += 8) {
    const std::uint32_t low = c ^ (std::uint32_t(data[0]) | std::uint32_t(data[1]) << 8 |
                                   std::uint32_t(data[2]) << 16 | std::uint32_t(data[3]) << 24);
    c = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
        t[3][data[4]] ^ t[2][data[5]] ^ t[1][data[6]] ^ t[0][data[7]];
  }
  for (; size > 0; --size) c = t[0][(c ^ *data++) & 0xFF] ^ (c >> 8);
  return ~c;
}

}  // namespace su::conv
