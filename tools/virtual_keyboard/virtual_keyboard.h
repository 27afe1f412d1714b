// The virtual keyboard: a keyboard simulated from its own side of the cable, for native tests (through the
// virtual link) and for the test-only winmm.dll (through a config file).
//
// It answers the identity request at model address 0x1400 and speaks the family C protocol: slot reads,
// free memory, announcing a song, checksummed data blocks, the closing CRC-32 and deleting a slot. It keeps
// its slots (status, name, size, contents) and its free memory, checks every block's checksum, length and
// order and the closing CRC-32, and records every message it received in order. Families A and B are not
// simulated yet: frames at their model addresses are recorded and left unanswered (see OnMessage).
//
// Misbehaviour is scripted with rules matched against each message by command byte:
//   Silent  - the message is recorded but not answered (and has no effect);
//   Refuse  - the message is answered with a refusal carrying `code` (and has no effect);
//   Late    - the message is handled normally but its answer comes `delayMs` later.
// A rule lets the first `skip` matching messages through, then acts on the next `times` of them
// (kForever: on all of them). The first rule that acts on a message decides. Junk frames (another model
// address, broken framing, too short, an unknown answer code) can be sent before real answers.
//
// Config file (ParseKeyboardConfig), one `key=value` per line; blank lines and lines starting with # are
// ignored; spaces around keys and values are trimmed; numbers are decimal or 0x-hexadecimal:
//   model=2                  model byte of the identity reply (default 2)
//   model_info=01234567      the four further bytes of the identity reply, as 8 hex digits (default 00000000)
//   identity=yes|no          whether the identity request is answered (default yes)
//   slots=10                 number of song slots, all empty (default 10; at most 255)
//   slot=3,My Song,4096      slot 3 holds a song named "My Song" of 4096 bytes (contents unknown: zeros);
//                            the name may be empty and may contain commas; the size is after the last comma
//   slot_status=3,2          slot 3 reports status byte 2 (odd statuses, for tests of the listing)
//   free=1048576             free memory in bytes (default 1048576)
//   delay_ms=0               every answer comes this many milliseconds after its message (default 0)
//   silent=CMD[:TIMES[:SKIP]]        a Silent rule
//   refuse=CMD:CODE[:TIMES[:SKIP]]   a Refuse rule
//   late=CMD:MS[:TIMES[:SKIP]]       a Late rule
//                            CMD is a command byte (04, 0x04) or "any"; TIMES a count or "always"
//                            (default always); SKIP a count (default 0)
//   junk=other_address,broken_framing,too_short,other_code   junk frames sent before each answer, in order
//   junk_times=1             how many answers get the junk frames first (default always)
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

#include "tools/virtual_keyboard/virtual_peer.h"

namespace su::test {

constexpr std::uint32_t kForever = std::numeric_limits<std::uint32_t>::max();
constexpr int kAnyCommand = -1;

// Which protocol the simulated keyboard speaks. Families A and B join later.
enum class KeyboardFamily { C };

struct KeyboardSlot {
  std::uint8_t status = 0;            // 1: holds a song
  std::string name;                   // the name the keyboard reports (bytes as stored)
  std::uint32_t size = 0;             // the size the keyboard reports
  std::vector<std::uint8_t> contents; // the song image received into this slot
};

struct KeyboardRule {
  enum class Action { Silent, Refuse, Late };
  Action action = Action::Silent;
  int command = kAnyCommand;
  std::uint8_t code = 0;       // Refuse: the error code
  std::uint32_t delayMs = 0;   // Late: how late the answer comes
  std::uint32_t skip = 0;      // matching messages let through first
  std::uint32_t times = kForever;
};

enum class JunkFrame {
  OtherAddress,   // a well-formed acknowledgement from model address 0x1401
  BrokenFraming,  // the right head but no F7 at the end
  TooShort,       // F0 44 14 00 F7: five bytes
  OtherCode,      // a well-formed frame whose answer code is neither 06 nor 07
};

// Reads the song title from a received song image; the default reads our image header (no name when the
// header cannot be read).
using TitleReader = std::function<std::string(const std::vector<std::uint8_t>& image)>;

struct KeyboardConfig {
  KeyboardFamily family = KeyboardFamily::C;
  bool answersIdentity = true;
  std::uint8_t modelByte = 2;
  std::array<std::uint8_t, 4> modelInfo{};
  std::vector<KeyboardSlot> slots = std::vector<KeyboardSlot>(10);
  std::uint32_t freeMemory = 1u << 20;
  std::uint32_t replyDelayMs = 0;
  std::vector<KeyboardRule> rules;
  std::vector<JunkFrame> junk;
  std::uint32_t junkTimes = kForever;
  TitleReader titleReader;  // empty: the default reader
};

// Error codes this keyboard refuses with, beyond the scripted ones.
constexpr std::uint8_t kKbBadRequest = 2;     // unknown slot, malformed message
constexpr std::uint8_t kKbNoMemory = 4;       // the announced song does not fit
constexpr std::uint8_t kKbNoTransfer = 6;     // a block or closing message without an announce
constexpr std::uint8_t kKbBadChecksum = 7;    // a block's checksum does not add up
constexpr std::uint8_t kKbBadCrc = 8;         // the closing CRC-32 does not match the received image
constexpr std::uint8_t kKbOutOfOrder = 9;     // a block of the wrong length for its place, or a closing too early

class VirtualKeyboard : public VirtualPeer {
 public:
  explicit VirtualKeyboard(KeyboardConfig config = {});

  void OnMessage(const std::vector<std::uint8_t>& message, ReplySink& sink) override;

  // Scripting while a test runs.
  void AddRule(const KeyboardRule& rule);
  void SetReplyDelay(std::uint32_t ms);
  void SetJunk(std::vector<JunkFrame> junk, std::uint32_t times = kForever);

  // What it received and what it holds now.
  std::vector<std::vector<std::uint8_t>> Received() const;
  std::size_t CountReceived(std::uint8_t command) const;  // family C / identity messages with this command
  std::size_t AnswersSent() const;                        // real answers, junk not counted
  KeyboardSlot Slot(std::size_t index) const;
  std::size_t SlotCount() const;
  std::uint32_t FreeMemory() const;
  // Protocol faults it noticed in what the program sent (bad checksum, wrong block order or length, CRC
  // mismatch, a data byte with bit 7 set). Empty after a correct exchange.
  std::vector<std::string> Faults() const;
  // The image of the transfer under way (unpacked from the blocks so far).
  std::vector<std::uint8_t> PartialImage() const;

 private:
  struct Answer {
    std::vector<std::uint8_t> bytes;
    bool none = false;  // stay silent
  };
  struct Transfer {
    bool open = false;
    std::uint8_t slot = 0;
    std::uint32_t size = 0;
    std::vector<std::uint8_t> packed;
  };

  void HandleAddress1400(const std::vector<std::uint8_t>& m, Answer* answer);
  void HandleFamilyC(const std::vector<std::uint8_t>& m, Answer* answer);
  void ReadSlotInfo(const std::vector<std::uint8_t>& m, Answer* answer);
  void Announce(const std::vector<std::uint8_t>& m, Answer* answer);
  void DataBlock(const std::vector<std::uint8_t>& m, Answer* answer);
  void CloseTransfer(const std::vector<std::uint8_t>& m, Answer* answer);
  void DeleteSong(const std::vector<std::uint8_t>& m, Answer* answer);
  void FreeSpace(Answer* answer);
  void Fault(const std::string& what);

  mutable std::mutex mutex_;
  KeyboardConfig config_;
  std::vector<std::uint32_t> ruleSeen_;
  std::vector<std::uint32_t> ruleActed_;
  std::uint32_t junkSent_ = 0;
  std::size_t answersSent_ = 0;
  std::vector<std::vector<std::uint8_t>> received_;
  std::vector<std::string> faults_;
  Transfer transfer_;
};

// Reads the config format above into `config` (which keeps its values for keys not given). false with a
// message naming the line when a line cannot be read.
bool ParseKeyboardConfig(const std::string& text, KeyboardConfig* config, std::string* error);

// Frame builders of the keyboard's side.
std::vector<std::uint8_t> KeyboardAck(std::vector<std::uint8_t> params = {});
std::vector<std::uint8_t> KeyboardRefusal(std::uint8_t code);

}  // namespace su::test
