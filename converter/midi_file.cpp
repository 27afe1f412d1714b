#include "converter/midi_file.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>

namespace su::conv {

namespace {

constexpr std::uint64_t kMaxTick = 0xFFFFFFFFu;

std::uint32_t Be32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}
std::uint16_t Be16(const std::uint8_t* p) { return std::uint16_t(p[0] << 8 | p[1]); }
std::uint32_t Le32(const std::uint8_t* p) {
  return std::uint32_t(p[3]) << 24 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
}
bool IsId(const std::uint8_t* p, const char* id) { return std::memcmp(p, id, 4) == 0; }

// A variable-length number: seven bits per byte, most significant first, at most four bytes.
bool ReadVlq(const std::uint8_t*& p, const std::uint8_t* end, std::uint32_t* value) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) {
    if (p == end) return false;
    const std::uint8_t b = *p++;
    v = (v << 7) | (b & 0x7Fu);
    if ((b & 0x80) == 0) {
      *value = v;
      return true;
    }
  }
  return false;
}

// Reads one MTrk body [p, end) into `out`. `base` is where payload offsets are counted from.
MidiError ReadTrack(const std::uint8_t* base, const std::uint8_t* p, const std::uint8_t* end,
                    std::vector<MidiEvent>* out, std::uint32_t* endTick) {
  out->reserve(static_cast<std::size_t>(end - p) / 4 + 1);
  std::uint64_t time = 0;
  std::uint8_t running = 0;
  bool ended = false;
  while (p < end) {
    if (ended) return MidiError::MissingEndOfTrack;  // events after the end-of-track
    std::uint32_t delta;
    if (!ReadVlq(p, end, &delta)) return MidiError::BadVlq;
    time += delta;
    if (time > kMaxTick) return MidiError::TooLong;
    if (p == end) return MidiError::BadData;

    MidiEvent event;
    event.tick = static_cast<std::uint32_t>(time);
    std::uint8_t status = *p;
    if (status < 0x80) {
      if (running == 0) return MidiError::NoRunningStatus;
      status = running;
    } else {
      ++p;
    }

    if (status < 0xF0) {
      running = status;
      const int n = ChannelDataLength(status);
      if (end - p < n) return MidiError::BadData;
      if (p[0] & 0x80) return MidiError::BadData;
      event.kind = MidiKind::Channel;
      event.status = status;
      event.data1 = p[0];
      if (n == 2) {
        if (p[1] & 0x80) return MidiError::BadData;
        event.data2 = p[1];
      }
      p += n;
      out->push_back(event);
      continue;
    }

    // System exclusive and meta events cancel running status.
    running = 0;
    if (status == 0xF0 || status == 0xF7) {
      std::uint32_t length;
      if (!ReadVlq(p, end, &length)) return MidiError::BadVlq;
      if (length > static_cast<std::uint64_t>(end - p)) return MidiError::EventPastEnd;
      event.kind = MidiKind::SysEx;
      event.status = status;
      event.offset = static_cast<std::uint32_t>(p - base);
      event.length = length;
      p += length;
      out->push_back(event);
    } else if (status == 0xFF) {
      if (p == end) return MidiError::BadData;
      const std::uint8_t type = *p++;
      if (type & 0x80) return MidiError::BadMeta;
      std::uint32_t length;
      if (!ReadVlq(p, end, &length)) return MidiError::BadVlq;
      if (length > static_cast<std::uint64_t>(end - p)) return MidiError::EventPastEnd;
      if ((type == 0x2F && length != 0) || (type == 0x51 && length != 3) || (type == 0x58 && length != 4)) {
        return MidiError::BadMeta;
      }
      if (type == 0x2F) {
        ended = true;
        *endTick = std::max(*endTick, event.tick);
        continue;  // the end of a track is not an event of the merged stream
      }
      event.kind = MidiKind::Meta;
      event.status = 0xFF;
      event.data1 = type;
      event.offset = static_cast<std::uint32_t>(p - base);
      event.length = length;
      p += length;
      out->push_back(event);
    } else {
      return MidiError::BadStatus;
    }
  }
  return ended ? MidiError::None : MidiError::MissingEndOfTrack;
}

bool EarlierThan(const MidiEvent& a, const MidiEvent& b) { return a.tick < b.tick; }

// Merges time-ordered tracks pairwise; std::merge keeps the left range first on equal times, so events of
// equal time stay in track order.
std::vector<MidiEvent> MergeTracks(std::vector<std::vector<MidiEvent>> tracks) {
  while (tracks.size() > 1) {
    std::vector<std::vector<MidiEvent>> next;
    next.reserve((tracks.size() + 1) / 2);
    for (std::size_t i = 0; i + 1 < tracks.size(); i += 2) {
      std::vector<MidiEvent> merged;
      merged.reserve(tracks[i].size() + tracks[i + 1].size());
      std::merge(tracks[i].begin(), tracks[i].end(), tracks[i + 1].begin(), tracks[i + 1].end(),
                 std::back_inserter(merged), EarlierThan);
      next.push_back(std::move(merged));
    }
    if (tracks.size() % 2 != 0) next.push_back(std::move(tracks.back()));
    tracks = std::move(next);
  }
  return tracks.empty() ? std::vector<MidiEvent>() : std::move(tracks.front());
}

bool ValidDivision(std::uint16_t division) {
  if ((division & 0x8000) == 0) return division != 0;
  const int framesPerSecond = -static_cast<int>(static_cast<std::int8_t>(division >> 8));
  const bool knownRate = framesPerSecond == 24 || framesPerSecond == 25 || framesPerSecond == 29 ||
                         framesPerSecond == 30;
  return knownRate && (division & 0xFF) != 0;
}

// Reads a bare Standard MIDI File occupying [begin, end).
MidiError ReadSmf(const std::uint8_t* base, const std::uint8_t* begin, const std::uint8_t* end,
                  MidiFile* file) {
  if (end - begin < 8) return MidiError::TooShort;
  if (!IsId(begin, "MThd")) return MidiError::NoHeader;
  const std::uint32_t headerLength = Be32(begin + 4);
  if (headerLength < 6) return MidiError::BadHeader;
  if (headerLength > static_cast<std::uint64_t>(end - begin - 8)) return MidiError::ChunkPastEnd;
  const std::uint8_t* h = begin + 8;
  const std::uint16_t format = Be16(h);
  const std::uint16_t trackCount = Be16(h + 2);
  const std::uint16_t division = Be16(h + 4);
  if (format >= 2) return MidiError::UnsupportedFormat;
  if (trackCount == 0) return MidiError::NoTracks;
  if (format == 0 && trackCount != 1) return MidiError::BadHeader;
  if (!ValidDivision(division)) return MidiError::BadDivision;

  const std::uint8_t* p = h + headerLength;
  // Every track needs at least its 8-byte chunk header: refuse an impossible count before allocating.
  if (static_cast<std::uint64_t>(trackCount) * 8 > static_cast<std::uint64_t>(end - p)) {
    return MidiError::MissingTrack;
  }

  std::vector<std::vector<MidiEvent>> tracks;
  tracks.reserve(trackCount);
  std::uint32_t endTick = 0;
  while (tracks.size() < trackCount) {
    if (p == end) return MidiError::MissingTrack;
    if (end - p < 8) return MidiError::ChunkPastEnd;
    const std::uint32_t length = Be32(p + 4);
    if (length > static_cast<std::uint64_t>(end - p - 8)) return MidiError::ChunkPastEnd;
    const std::uint8_t* body = p + 8;
    if (IsId(p, "MTrk")) {
      tracks.emplace_back();
      const MidiError error = ReadTrack(base, body, body + length, &tracks.back(), &endTick);
      if (error != MidiError::None) return error;
    }
    // Chunks of other types are skipped unread.
    p = body + length;
  }

  file->format = format;
  file->trackCount = trackCount;
  file->division = division;
  file->endTick = endTick;
  file->events = MergeTracks(std::move(tracks));
  file->source = base;
  return MidiError::None;
}

// Finds the "data" chunk of a RIFF RMID file and reads the MIDI file inside it.
MidiError ReadRmid(const std::uint8_t* data, std::size_t size, MidiFile* file) {
  if (size < 12 || !IsId(data + 8, "RMID")) return MidiError::BadRiff;
  const std::uint32_t riffSize = Le32(data + 4);
  if (riffSize < 4 || riffSize > size - 8) return MidiError::BadRiff;
  const std::uint8_t* p = data + 12;
  const std::uint8_t* end = data + 8 + riffSize;
  while (end - p >= 8) {
    const std::uint32_t length = Le32(p + 4);
    if (length > static_cast<std::uint64_t>(end - p - 8)) return MidiError::BadRiff;
    const std::uint8_t* body = p + 8;
    if (IsId(p, "data")) return ReadSmf(data, body, body + length, file);
    // RIFF chunks are padded to an even length; the pad byte may be missing after the last chunk.
    const std::size_t step = std::min<std::size_t>(static_cast<std::size_t>(length) + (length & 1u),
                                                   static_cast<std::size_t>(end - body));
    p = body + step;
  }
  return MidiError::BadRiff;
}

}  // namespace

MidiError ReadMidiFile(const std::uint8_t* data, std::size_t size, MidiFile* file) {
  *file = MidiFile();
  if (data == nullptr || size < 8) return MidiError::TooShort;
  if (size > kMaxMidiBytes) return MidiError::TooLong;
  MidiFile result;
  const MidiError error = IsId(data, "RIFF") ? ReadRmid(data, size, &result)
                                             : ReadSmf(data, data, data + size, &result);
  if (error == MidiError::None) *file = std::move(result);
  return error;
}

const char* MidiErrorName(MidiError error) {
  switch (error) {
    case MidiError::None: return "none";
    case MidiError::TooShort: return "too short";
    case MidiError::NoHeader: return "no header";
    case MidiError::BadRiff: return "bad RIFF wrapper";
    case MidiError::BadHeader: return "bad header";
    case MidiError::UnsupportedFormat: return "unsupported format";
    case MidiError::NoTracks: return "no tracks";
    case MidiError::BadDivision: return "bad division";
    case MidiError::ChunkPastEnd: return "chunk past end";
    case MidiError::MissingTrack: return "missing track";
    case MidiError::BadVlq: return "bad variable-length number";
    case MidiError::NoRunningStatus: return "no running status";
    case MidiError::BadStatus: return "bad status";
    case MidiError::BadData: return "bad data";
    case MidiError::BadMeta: return "bad meta event";
    case MidiError::EventPastEnd: return "event past end";
    case MidiError::MissingEndOfTrack: return "missing end of track";
    case MidiError::TooLong: return "too long";
  }
  return "unknown";
}

}  // namespace su::conv
