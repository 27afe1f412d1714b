#include "converter/midi_file.h"

#include <algorithm>
#include <cstring>
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

// Decodes the event at `p` in a track ending at `end`, moving `p` past it. `time` and `running` carry the
// track's absolute time and running status from one event to the next. An end-of-track sets `*ended` and is
// not an event of the merged stream. `base` is where payload offsets are counted from.
MidiError DecodeEvent(const std::uint8_t* base, const std::uint8_t*& p, const std::uint8_t* end, std::uint64_t& time,
                      std::uint8_t& running, MidiEvent* event, bool* ended) {
  std::uint32_t delta;
  if (!ReadVlq(p, end, &delta)) return MidiError::BadVlq;
  time += delta;
  if (time > kMaxTick) return MidiError::TooLong;
  if (p == end) return MidiError::BadData;

  *event = MidiEvent();
  event->tick = static_cast<std::uint32_t>(time);
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
    event->kind = MidiKind::Channel;
    event->status = status;
    event->data1 = p[0];
    if (n == 2) {
      if (p[1] & 0x80) return MidiError::BadData;
      event->data2 = p[1];
    }
    p += n;
    return MidiError::None;
  }

  // System exclusive and meta events cancel running status.
  running = 0;
  if (status == 0xF0 || status == 0xF7) {
    std::uint32_t length;
    if (!ReadVlq(p, end, &length)) return MidiError::BadVlq;
    if (length > static_cast<std::uint64_t>(end - p)) return MidiError::EventPastEnd;
    event->kind = MidiKind::SysEx;
    event->status = status;
    event->offset = static_cast<std::uint32_t>(p - base);
    event->length = length;
    p += length;
    return MidiError::None;
  }
  if (status != 0xFF) return MidiError::BadStatus;
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
    *ended = true;
    return MidiError::None;
  }
  event->kind = MidiKind::Meta;
  event->status = 0xFF;
  event->data1 = type;
  event->offset = static_cast<std::uint32_t>(p - base);
  event->length = length;
  p += length;
  return MidiError::None;
}

// Checks one MTrk body [p, end) and counts its events into `tracks`.
MidiError ScanTrack(const std::uint8_t* base, const std::uint8_t* p, const std::uint8_t* end, MidiTracks* tracks) {
  std::uint64_t time = 0;
  std::uint8_t running = 0;
  bool ended = false;
  MidiEvent event;
  while (p < end) {
    if (ended) return MidiError::MissingEndOfTrack;  // events after the end-of-track
    const MidiError error = DecodeEvent(base, p, end, time, running, &event, &ended);
    if (error != MidiError::None) return error;
    if (ended) {
      tracks->endTick = std::max(tracks->endTick, event.tick);
      continue;
    }
    ++tracks->eventCount;
  }
  return ended ? MidiError::None : MidiError::MissingEndOfTrack;
}

bool ValidDivision(std::uint16_t division) {
  if ((division & 0x8000) == 0) return division != 0;
  const int framesPerSecond = -static_cast<int>(static_cast<std::int8_t>(division >> 8));
  const bool knownRate = framesPerSecond == 24 || framesPerSecond == 25 || framesPerSecond == 29 ||
                         framesPerSecond == 30;
  return knownRate && (division & 0xFF) != 0;
}

// Reads a bare Standard MIDI File occupying [begin, end): its header and chunks, and its tracks' events too
// when `checkEvents`.
MidiError ScanSmf(const std::uint8_t* base, const std::uint8_t* begin, const std::uint8_t* end, bool checkEvents,
                  MidiTracks* file) {
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

  file->tracks.reserve(trackCount);
  while (file->tracks.size() < trackCount) {
    if (p == end) return MidiError::MissingTrack;
    if (end - p < 8) return MidiError::ChunkPastEnd;
    const std::uint32_t length = Be32(p + 4);
    if (length > static_cast<std::uint64_t>(end - p - 8)) return MidiError::ChunkPastEnd;
    const std::uint8_t* body = p + 8;
    if (IsId(p, "MTrk")) {
      file->tracks.push_back({body, body + length});
      file->trackBytes += length;
      const MidiError error = checkEvents ? ScanTrack(base, body, body + length, file) : MidiError::None;
      if (error != MidiError::None) return error;
    }
    // Chunks of other types are skipped unread.
    p = body + length;
  }

  file->format = format;
  file->trackCount = trackCount;
  file->division = division;
  file->source = base;
  return MidiError::None;
}

// Finds the "data" chunk of a RIFF RMID file and reads the MIDI file inside it.
MidiError ScanRmid(const std::uint8_t* data, std::size_t size, bool checkEvents, MidiTracks* file) {
  if (size < 12 || !IsId(data + 8, "RMID")) return MidiError::BadRiff;
  const std::uint32_t riffSize = Le32(data + 4);
  if (riffSize < 4 || riffSize > size - 8) return MidiError::BadRiff;
  const std::uint8_t* p = data + 12;
  const std::uint8_t* end = data + 8 + riffSize;
  while (end - p >= 8) {
    const std::uint32_t length = Le32(p + 4);
    if (length > static_cast<std::uint64_t>(end - p - 8)) return MidiError::BadRiff;
    const std::uint8_t* body = p + 8;
    if (IsId(p, "data")) return ScanSmf(data, body, body + length, checkEvents, file);
    // RIFF chunks are padded to an even length; the pad byte may be missing after the last chunk.
    const std::size_t step = std::min<std::size_t>(static_cast<std::size_t>(length) + (length & 1u),
                                                   static_cast<std::size_t>(end - body));
    p = body + step;
  }
  return MidiError::BadRiff;
}

MidiError Scan(const std::uint8_t* data, std::size_t size, bool checkEvents, MidiTracks* tracks) {
  *tracks = MidiTracks();
  if (data == nullptr || size < 8) return MidiError::TooShort;
  if (size > kMaxMidiBytes) return MidiError::TooLong;
  MidiTracks result;
  const MidiError error = IsId(data, "RIFF") ? ScanRmid(data, size, checkEvents, &result)
                                             : ScanSmf(data, data, data + size, checkEvents, &result);
  if (error == MidiError::None) *tracks = std::move(result);
  return error;
}

}  // namespace

MidiError ScanMidiFile(const std::uint8_t* data, std::size_t size, MidiTracks* tracks) {
  return Scan(data, size, true, tracks);
}

MidiError FindMidiTracks(const std::uint8_t* data, std::size_t size, MidiTracks* tracks) {
  return Scan(data, size, false, tracks);
}

MidiError ReadMidiFile(const std::uint8_t* data, std::size_t size, MidiFile* file) {
  *file = MidiFile();
  MidiTracks tracks;
  const MidiError error = ScanMidiFile(data, size, &tracks);
  if (error != MidiError::None) return error;
  file->format = tracks.format;
  file->trackCount = tracks.trackCount;
  file->division = tracks.division;
  file->endTick = tracks.endTick;
  file->source = tracks.source;
  // Counted first, so the merged stream is allocated once at its exact size.
  file->events.reserve(tracks.eventCount);
  MergedEvents merged(tracks);
  MidiEvent event;
  while (merged.Next(&event)) file->events.push_back(event);
  return MidiError::None;
}

MergedEvents::MergedEvents(const MidiTracks& tracks)
    : base_(tracks.source),
      trackCount_(tracks.tracks.size()),
      batch_(std::clamp<std::size_t>(kMaxBatched / std::max<std::size_t>(trackCount_, 1), 1, kMaxBatch)),
      batches_(trackCount_ * batch_) {
  cursors_.reserve(trackCount_);
  // The first round is played bottom up over every node: winners below a node go up, losers stay.
  std::vector<std::uint64_t> winners(2 * trackCount_, kNoKey);
  for (const TrackSpan& span : tracks.tracks) {
    MidiEvent* const batch = batches_.data() + cursors_.size() * batch_;
    cursors_.push_back({span.begin, span.end, 0, 0, false, batch, batch, batch});
    const std::uint64_t track = cursors_.size() - 1;
    if (Refill(cursors_.back())) winners[trackCount_ + track] = std::uint64_t{batch->tick} << 16 | track;
  }
  losers_.assign(trackCount_, kNoKey);
  for (std::size_t node = trackCount_; node-- > 1;) {
    winners[node] = std::min(winners[2 * node], winners[2 * node + 1]);
    losers_[node] = std::max(winners[2 * node], winners[2 * node + 1]);
  }
  // With one track, node 1 is that track itself.
  if (trackCount_ > 0 && error_ == MidiError::None) winner_ = winners[1];
}

// Decodes with the same checks as ScanMidiFile: a fault ends the walk and is kept in error_. The track's
// place is worked on in locals, which the decoded bytes stored cannot be taken to change.
bool MergedEvents::Refill(Cursor& c) {
  const std::uint8_t* p = c.p;
  const std::uint8_t* const end = c.end;
  std::uint64_t time = c.time;
  std::uint8_t running = c.running;
  bool ended = c.ended;
  MidiEvent* last = c.batch;
  MidiError error = MidiError::None;
  while (last != c.batch + batch_ && !ended) {
    // A track must close with its end-of-track, and nothing may follow it.
    error = p == end ? MidiError::MissingEndOfTrack : DecodeEvent(base_, p, end, time, running, last, &ended);
    if (error != MidiError::None) break;
    if (ended) {
      endTick_ = std::max(endTick_, last->tick);
      if (p != end) error = MidiError::MissingEndOfTrack;
      break;
    }
    ++last;
  }
  c.p = p;
  c.time = time;
  c.running = running;
  c.ended = ended;
  c.next = c.batch;
  c.last = last;
  if (error != MidiError::None) {
    if (error_ == MidiError::None) error_ = error;
    c.ended = true;
    c.last = c.batch;
  }
  return c.next != c.last;
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
