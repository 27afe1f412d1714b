// Songs shaped like the ones people convert: a conductor track (tempo changes, time signature, markers), a
// lyrics track, and instrument tracks with chords, note-offs written as zero-velocity note-ons under running
// status, controller curves, pitch bends and the odd sustain pedal. Everything comes from a fixed seed, so
// the same call gives the same bytes on every machine.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace su::bench {

using Bytes = std::vector<std::uint8_t>;

struct RealisticShape {
  const char* label;
  std::size_t targetBytes;  // about this many bytes in all
  int tracks;               // conductor and lyrics included
};

// The three sizes the converter is measured on: a pop song, a long orchestral piece, a huge medley.
inline const std::vector<RealisticShape>& RealisticShapes() {
  static const std::vector<RealisticShape> shapes = {
      {"50KB_9tracks", 50 * 1024, 9},
      {"1MB_25tracks", 1024 * 1024, 25},
      {"14MB_65tracks", 14 * 1024 * 1024, 65},
  };
  return shapes;
}

namespace detail {

inline void PutVlq(Bytes* out, std::uint32_t value) {
  std::uint8_t tmp[5];
  int n = 0;
  tmp[n++] = value & 0x7F;
  while ((value >>= 7) != 0) tmp[n++] = 0x80 | (value & 0x7F);
  while (n > 0) out->push_back(tmp[--n]);
}

inline void AppendVlq(std::string* out, std::uint32_t value) {
  Bytes tmp;
  PutVlq(&tmp, value);
  out->append(tmp.begin(), tmp.end());
}

inline void PutBe(Bytes* out, std::uint32_t value, int bytes) {
  for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) out->push_back(std::uint8_t(value >> shift));
}

// Events of one track with absolute times, written out in time order (then the order they were made in).
class TrackWriter {
 public:
  void Channel(std::uint32_t tick, std::uint8_t status, std::uint8_t a, int b = -1) {
    Event e{tick, next_++, {char(status), char(a)}};
    if (b >= 0) e.body.push_back(char(b));
    events_.push_back(std::move(e));
    estimate_ += b >= 0 ? 3 : 2;
  }
  void Meta(std::uint32_t tick, std::uint8_t type, const std::string& payload) {
    Event e{tick, next_++, {char(0xFF), char(type)}};
    AppendVlq(&e.body, static_cast<std::uint32_t>(payload.size()));
    e.body += payload;
    estimate_ += e.body.size() + 1;
    events_.push_back(std::move(e));
  }
  void SysEx(std::uint32_t tick, const Bytes& payload) {
    Event e{tick, next_++, {char(0xF0)}};
    AppendVlq(&e.body, static_cast<std::uint32_t>(payload.size()));
    e.body.append(payload.begin(), payload.end());
    estimate_ += e.body.size() + 1;
    events_.push_back(std::move(e));
  }
  std::size_t Estimate() const { return estimate_; }

  Bytes Encode() {
    std::sort(events_.begin(), events_.end(),
              [](const Event& a, const Event& b) { return a.tick != b.tick ? a.tick < b.tick : a.order < b.order; });
    Bytes out;
    out.reserve(estimate_ + 16);
    std::uint32_t now = 0;
    std::uint8_t running = 0;
    for (const Event& e : events_) {
      PutVlq(&out, e.tick - now);
      now = e.tick;
      const std::uint8_t status = std::uint8_t(e.body[0]);
      const bool channel = status < 0xF0;
      const bool skipStatus = channel && status == running;
      out.insert(out.end(), e.body.begin() + (skipStatus ? 1 : 0), e.body.end());
      running = channel ? status : 0;
    }
    out.insert(out.end(), {0x00, 0xFF, 0x2F, 0x00});
    return out;
  }

 private:
  struct Event {
    std::uint32_t tick;
    std::uint64_t order;
    std::string body;  // status and data; short enough to stay inside the string itself
  };
  std::vector<Event> events_;
  std::uint64_t next_ = 0;
  std::size_t estimate_ = 0;
};

}  // namespace detail

// A format 1 song of about `shape.targetBytes` bytes in `shape.tracks` tracks, at 480 ticks per quarter.
inline Bytes RealisticSong(const RealisticShape& shape, std::uint32_t seed = 7) {
  using detail::TrackWriter;
  constexpr std::uint32_t kQuarter = 480;
  constexpr std::uint32_t kBar = 4 * kQuarter;
  std::mt19937 rng(seed);
  auto pick = [&rng](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };

  const int instruments = std::max(1, shape.tracks - 2);
  // Instrument tracks carry almost all the bytes; the conductor and the lyrics a little each.
  const std::size_t perInstrument = shape.targetBytes * 94 / 100 / static_cast<std::size_t>(instruments);
  std::vector<Bytes> bodies;
  std::uint32_t songEnd = 0;

  for (int t = 0; t < instruments; ++t) {
    TrackWriter track;
    const std::uint8_t channel = std::uint8_t(t % 16 == 9 ? 10 : t % 16);
    track.Meta(0, 0x03, "Part " + std::to_string(t + 1));
    track.Channel(0, 0xB0 | channel, 0, 0);
    track.Channel(0, 0xB0 | channel, 7, pick(70, 110));
    track.Channel(0, 0xB0 | channel, 10, pick(20, 108));
    track.Channel(0, 0xC0 | channel, std::uint8_t(pick(0, 127)));
    std::uint32_t bar = 0;
    while (track.Estimate() < perInstrument) {
      const std::uint32_t start = bar * kBar;
      const int step = kQuarter / (1 << pick(0, 2));  // quarters, eighths or sixteenths this bar
      for (std::uint32_t at = start; at < start + kBar; at += step) {
        const int voices = pick(0, 4) == 0 ? 3 : 1;  // now and then a chord
        const int root = pick(36, 84);
        for (int v = 0; v < voices; ++v) {
          const std::uint8_t key = std::uint8_t(root + 4 * v);
          track.Channel(at, 0x90 | channel, key, pick(40, 120));
          track.Channel(at + std::uint32_t(step) - std::uint32_t(pick(1, step / 4 + 1)), 0x90 | channel, key, 0);
        }
      }
      if (pick(0, 1) == 0) {  // an expression swell across the bar, one point every 40 ticks
        for (std::uint32_t at = start; at < start + kBar; at += 40) {
          track.Channel(at + 1, 0xB0 | channel, 11, 64 + int((at - start) * 63 / kBar));
        }
      }
      if (pick(0, 3) == 0) {  // a pitch bend there and back
        for (int i = 0; i <= 16; ++i) {
          const int value = 8192 + (i <= 8 ? i : 16 - i) * 400;
          track.Channel(start + kQuarter + std::uint32_t(i) * 15, 0xE0 | channel, value & 0x7F, value >> 7);
        }
      }
      if (pick(0, 5) == 0) {
        track.Channel(start, 0xB0 | channel, 64, 127);
        track.Channel(start + kBar - 10, 0xB0 | channel, 64, 0);
      }
      ++bar;
    }
    songEnd = std::max(songEnd, bar * kBar);
    bodies.push_back(track.Encode());
  }

  TrackWriter conductor;
  conductor.Meta(0, 0x03, "Realistic Bench Song");
  conductor.Meta(0, 0x58, std::string("\x04\x02\x18\x08", 4));
  conductor.SysEx(0, {0x7E, 0x7F, 0x09, 0x01, 0xF7});
  TrackWriter lyrics;
  lyrics.Meta(0, 0x03, "Words");
  static const char* const kSyllables[] = {"la ", "da ", "sun", "shine ", "we ", "go ", "home", "-ly ", "o", "ver "};
  for (std::uint32_t bar = 0; bar * kBar < songEnd; ++bar) {
    const int bpm = 96 + pick(-6, 6);
    const std::uint32_t micros = 60000000u / std::uint32_t(bpm);
    conductor.Meta(bar * kBar, 0x51, std::string{char(micros >> 16), char(micros >> 8), char(micros)});
    if (bar % 8 == 0) conductor.Meta(bar * kBar, 0x06, "Section " + std::to_string(bar / 8 + 1));
    for (std::uint32_t beat = 0; beat < 4; ++beat) lyrics.Meta(bar * kBar + beat * kQuarter, 0x05, kSyllables[pick(0, 9)]);
  }

  Bytes out = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1};
  detail::PutBe(&out, std::uint32_t(instruments + 2), 2);
  detail::PutBe(&out, kQuarter, 2);
  std::vector<Bytes> all;
  all.push_back(conductor.Encode());
  all.push_back(lyrics.Encode());
  for (Bytes& body : bodies) all.push_back(std::move(body));
  for (const Bytes& body : all) {
    out.insert(out.end(), {'M', 'T', 'r', 'k'});
    detail::PutBe(&out, static_cast<std::uint32_t>(body.size()), 4);
    out.insert(out.end(), body.begin(), body.end());
  }
  return out;
}

}  // namespace su::bench
