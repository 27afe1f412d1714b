// Builds Standard MIDI Files byte by byte for tests and benchmarks, and random valid songs together with the
// event stream a correct reader must produce from them (worked out here, independently of the reader).
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "converter/song_image.h"

namespace su::test {

using Bytes = std::vector<std::uint8_t>;

inline void AppendVlq(Bytes* out, std::uint32_t value) {
  std::uint8_t tmp[5];
  int n = 0;
  tmp[n++] = value & 0x7F;
  while ((value >>= 7) != 0) tmp[n++] = 0x80 | (value & 0x7F);
  while (n > 0) out->push_back(tmp[--n]);
}

inline void AppendBe32(Bytes* out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(std::uint8_t(v >> shift));
}

inline void AppendLe32(Bytes* out, std::uint32_t v) {
  for (int shift = 0; shift <= 24; shift += 8) out->push_back(std::uint8_t(v >> shift));
}

// One MTrk body written event by event; the caller decides on running status and the end of the track.
struct TrackBytes {
  Bytes body;
  TrackBytes& Raw(std::initializer_list<std::uint8_t> bytes) {
    body.insert(body.end(), bytes);
    return *this;
  }
  TrackBytes& Delta(std::uint32_t ticks) {
    AppendVlq(&body, ticks);
    return *this;
  }
  TrackBytes& Meta(std::uint8_t type, const Bytes& payload) {
    body.push_back(0xFF);
    body.push_back(type);
    AppendVlq(&body, static_cast<std::uint32_t>(payload.size()));
    body.insert(body.end(), payload.begin(), payload.end());
    return *this;
  }
  TrackBytes& Text(std::uint8_t type, const std::string& text) { return Meta(type, Bytes(text.begin(), text.end())); }
  TrackBytes& End() { return Delta(0).Raw({0xFF, 0x2F, 0x00}); }
};

inline Bytes Chunk(const char* id, const Bytes& body) {
  Bytes out(id, id + 4);
  AppendBe32(&out, static_cast<std::uint32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

inline Bytes Header(std::uint16_t format, std::uint16_t tracks, std::uint16_t division) {
  return Chunk("MThd", {std::uint8_t(format >> 8), std::uint8_t(format), std::uint8_t(tracks >> 8),
                        std::uint8_t(tracks), std::uint8_t(division >> 8), std::uint8_t(division)});
}

inline Bytes Smf(std::uint16_t format, std::uint16_t division, const std::vector<TrackBytes>& tracks) {
  Bytes out = Header(format, static_cast<std::uint16_t>(tracks.size()), division);
  for (const TrackBytes& t : tracks) {
    const Bytes chunk = Chunk("MTrk", t.body);
    out.insert(out.end(), chunk.begin(), chunk.end());
  }
  return out;
}

// A format 0 song of one note: the smallest file that every conversion accepts.
inline Bytes OneNoteSong() {
  return Smf(0, 96, {TrackBytes().Delta(0).Raw({0x90, 60, 100}).Delta(96).Raw({60, 0}).End()});
}

inline Bytes Rmid(const Bytes& midi) {
  Bytes body = {'R', 'M', 'I', 'D', 'd', 'a', 't', 'a'};
  AppendLe32(&body, static_cast<std::uint32_t>(midi.size()));
  body.insert(body.end(), midi.begin(), midi.end());
  if (midi.size() % 2) body.push_back(0);
  Bytes out = {'R', 'I', 'F', 'F'};
  AppendLe32(&out, static_cast<std::uint32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

// A random valid song and what a correct reader makes of it.
struct GeneratedSong {
  Bytes bytes;
  std::vector<conv::SongEvent> expected;  // the kept events in merged order
  std::uint32_t endTick = 0;
  std::string firstName;                  // first printable track name, or empty
};

struct SongShape {
  int tracks = 3;
  int eventsPerTrack = 200;
  bool format0 = false;
  std::uint32_t maxDelta = 200;
};

inline GeneratedSong GenerateSong(std::mt19937& rng, const SongShape& shape) {
  struct Pending {
    std::uint32_t tick;
    int track;
    int order;
    conv::SongEvent event;
  };
  auto pick = [&rng](std::uint32_t low, std::uint32_t high) {
    return std::uniform_int_distribution<std::uint32_t>(low, high)(rng);
  };
  GeneratedSong song;
  std::vector<Pending> kept;
  std::vector<TrackBytes> tracks;
  const int trackCount = shape.format0 ? 1 : shape.tracks;
  for (int t = 0; t < trackCount; ++t) {
    TrackBytes track;
    std::uint32_t now = 0;
    std::uint8_t running = 0;
    if (pick(0, 1) == 0) {
      const std::string name = "Track " + std::to_string(t);
      track.Delta(0).Text(0x03, name);
      if (song.firstName.empty()) song.firstName = name;
    }
    for (int i = 0; i < shape.eventsPerTrack; ++i) {
      const std::uint32_t delta = pick(0, 3) == 0 ? 0 : pick(0, shape.maxDelta);
      now += delta;
      track.Delta(delta);
      conv::SongEvent e;
      e.tick = now;
      const std::uint32_t what = pick(0, 19);
      if (what < 14) {
        static const std::uint8_t kinds[] = {0x80, 0x90, 0x90, 0x90, 0xA0, 0xB0, 0xC0, 0xD0, 0xE0};
        const std::uint8_t status = kinds[pick(0, 8)] | std::uint8_t(pick(0, 15));
        e.status = status;
        e.size = static_cast<std::uint8_t>(conv::ChannelDataLength(status));
        for (int k = 0; k < e.size; ++k) e.data[k] = std::uint8_t(pick(0, 127));
        if (status != running || pick(0, 4) == 0) track.body.push_back(status);  // sometimes repeat the status
        running = status;
        track.body.insert(track.body.end(), e.data, e.data + e.size);
        kept.push_back({now, t, i, e});
      } else if (what < 16) {
        e.status = 0xFF;
        e.type = what == 14 ? 0x51 : 0x58;
        e.size = what == 14 ? 3 : 4;
        for (int k = 0; k < e.size; ++k) e.data[k] = std::uint8_t(pick(0, 255));
        track.Meta(e.type, Bytes(e.data, e.data + e.size));
        running = 0;
        kept.push_back({now, t, i, e});
      } else if (what < 18) {
        // Left out of the image: other meta events and System Exclusive.
        if (what == 16) {
          track.Text(0x01, "text " + std::to_string(i));
        } else {
          track.body.push_back(0xF0);
          AppendVlq(&track.body, 3);
          track.Raw({0x7E, 0x01, 0xF7});
        }
        running = 0;
      } else {
        track.Text(0x7F, std::string(pick(0, 200), 'x'));  // sequencer-specific, long enough for a 2-byte length
        running = 0;
      }
    }
    const std::uint32_t tail = pick(0, 1000);
    now += tail;
    track.Delta(tail).Raw({0xFF, 0x2F, 0x00});
    song.endTick = std::max(song.endTick, now);
    tracks.push_back(track);
  }
  std::stable_sort(kept.begin(), kept.end(), [](const Pending& a, const Pending& b) {
    if (a.tick != b.tick) return a.tick < b.tick;
    return a.track != b.track ? a.track < b.track : a.order < b.order;
  });
  for (const Pending& p : kept) song.expected.push_back(p.event);
  song.bytes = Smf(shape.format0 ? 0 : 1, 480, tracks);
  return song;
}

}  // namespace su::test
