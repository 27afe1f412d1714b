// The virtual keyboard: a keyboard simulated from its own side of the cable, for native tests (through the
// virtual link) and for the test-only winmm.dll (through a config file).
//
// Family C (the default): it answers the identity request at model address 0x1400 and speaks the family C
// protocol: slot reads, free memory, announcing a song, checksummed data blocks, the closing CRC-32 and
// deleting a slot. It checks every block's checksum, length and order and the closing CRC-32.
//
// Family A: it answers nothing at 0x1400, only frames whose bytes 2, 3 are its model address (0x1103, or
// 0x1102 with 8-character names). Reads (action 01) are answered with 18 bytes carrying a five-septet number
// at bytes 12..16: the model value, ready (byte 12 = 01 when not ready), free memory, a slot's used byte,
// size and name pieces (four characters each, first character in the top bits, padded with spaces). Writes
// (action 00) are not answered: prepare, delete a slot, write a name piece. Data blocks (action 04) carry
// word triplets and a 7-bit checksum; each is answered with a code (0 taken, 2 stop, 3 start over from
// block 0); a block 0 starts, or starts over, a transfer. After the two closing frames (action 07) the slot
// holds what was received, with a blank name until name pieces are written. A block that is malformed, out
// of order, of the wrong slot or does not fit in memory is answered with code 2 and recorded as a fault;
// malformed reads and writes are recorded and not answered.
//
// Family B: it answers nothing at 0x1400 or the family A addresses, only frames whose bytes 2, 3 are 15 01
// (the same for model types 25, 26 and 27). Requests are 18 bytes with the parameter in byte 13. Reads
// (action 01) are answered with F0 44 15 01 00 02 area 00 slot 00 00 00 00 param 00 00 <byte 16> then the
// value and F7: the model byte alone at byte 17 (area 00 param 00), a five-septet number at bytes 17..21 for
// free memory (00 22), the largest song it accepts (00 23) and a slot's size (21 02; 0 when empty), and the
// twelve name bytes as stored, padded with spaces, at bytes 17..28 for the name read (21 00, byte 16 = 0B).
// The delete write (action 02, area 00, param 25, slot in byte 17, 19 bytes) empties the slot without an
// answer. Data blocks (action 06) carry the block number in bytes 10..12 (seven bits each, low first), the
// word count less one in byte 13, word triplets and a 7-bit checksum; each is answered with
// F0 44 15 01 00 <code> 21 00 slot 00 F7, code 00 when taken. A block 0 starts a transfer; a block that is
// malformed, out of order, of the wrong slot or makes the song larger than the largest song it accepts is
// answered with code 0F and recorded as a fault; one that does not fit in the free memory (counting the
// song it replaces, which a send overwrites without a delete) is answered with code 0C, not a fault, since
// the program cannot know the room. After the two closing frames (actions 0D, 0E) the slot holds what was
// received, named with the image's title (cut to 12 bytes). Malformed reads and writes are recorded and not
// answered.
//
// All families keep their slots (status, name, size, contents) and free memory, record every message they
// received in order, and record the protocol faults they notice in what the program sends.
//
// Misbehaviour is scripted with rules matched against each message by its command:
//   family C: the command byte (byte 4);
//   family A: bytes 5, 6, 7 (action, area, parameter) as one number, written as six hex digits:
//     010000 model read, 010020 ready read, 010022 free memory read, 011000 used read, 011003 size read,
//     011004..011006 name piece reads, 000020 prepare, 000027 delete, 001004..001006 name piece writes,
//     041000 data blocks, 071000 both closing frames (KeyA builds them);
//   family B: bytes 5, 6 and 13 (action, area, parameter) as one number, written as six hex digits; data
//     blocks and closing frames count parameter 00 (byte 13 holds their word count or is missing):
//     010000 model read, 010022 free memory read, 010023 largest song read, 012102 size read, 012100 name
//     read, 020025 delete, 062100 data blocks, 0D2100 and 0E2100 the first and second closing frame (KeyB).
//   Silent  - the message is recorded but not answered (and has no effect);
//   Refuse  - family C: answered with a refusal carrying `code` (and no effect); family A: a data block is
//             answered with `code` (2 stop, 3 start over) and not taken, the ready read carries `code` in
//             byte 12 (01: not ready); other family A messages are handled as usual; family B: a data block
//             is answered with `code` in byte 5; a code whose low four bits are B, C or F (a stop: 0B, 0C,
//             0F, 4B) ends the transfer without taking the block, any other (02) takes it; other family B
//             messages are handled as usual;
//   Late    - the message is handled normally but its answer comes `delayMs` later (family B: a block
//             answered 3000 ms or more late reaches the program only on its second try).
// A rule lets the first `skip` matching messages through, then acts on the next `times` of them
// (kForever: on all of them). The first rule that acts on a message decides. Junk frames can be sent before
// real answers: family C sends fixed frames (another model address, broken framing, too short, an unknown
// answer code, another maker); family A sends copies of the real answer spoilt the same ways, each carrying
// a wrong value (all ones, or block code 2): at the other family A address, without F7, cut before byte 16
// (before the code byte for block answers), answering another parameter, from another maker. Family B sends
// copies of the real answer carrying all ones (model byte 7F, name bytes 7F) or stop code 0F for a block:
// at address 15 02, without F7, cut before byte 21 (before byte 28 for a name, byte 17 for the model byte,
// byte 5 for a block answer), answering another parameter (left out before a block answer: the program
// takes any frame from 15 01 as the block's answer), from another maker.
//
// Config file (ParseKeyboardConfig), one `key=value` per line; blank lines and lines starting with # are
// ignored; spaces around keys and values are trimmed; numbers are decimal or 0x-hexadecimal:
//   family=c                 c, a or b (default c)
//   model_address=0x1103     family A: 0x1103 (12-character names) or 0x1102 (8) (default 0x1103)
//   model_value=2            family A: the model read's answer (default 2 at 0x1103, 5 at 0x1102)
//   not_ready=TIMES[:SKIP]   family A: the ready read says not ready (a Refuse rule of 010020 with code 1)
//   model=2                  model byte of the identity reply; family B: of the model read (1, 2, 3 for
//                            model types 26, 25, 27) (default 2)
//   max_song=65536           family B: the largest song it accepts, in bytes (default 65536)
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
//                            CMD is a command (04, 0x04; six hex digits for families A and B) or "any"; TIMES a
//                            count or "always" (default always); SKIP a count (default 0)
//   junk=other_address,broken_framing,too_short,other_code,other_maker
//                            junk frames sent before each answer, in order
//   junk_times=1             how many answers get the junk frames first (default always)
//   song_overhead=0          bytes of memory each stored song takes beyond its size (default 0)
//   refuse_song=N            the N-th song begun is refused for memory: family C answers its announce with
//                            the no-memory code, families A and B its block 0 with a stop (A: 02, B: 0C)
//   silent_after_songs=N     once N songs are stored it answers nothing more (a keyboard that hangs)
//   max_song_shrink=N        family B: the largest song it takes falls by N bytes with each song stored
//   forget_song=N            the N-th song taken whole is acknowledged as usual but kept nowhere: its slot
//                            ends empty (the song it replaced gone too)
//   misplace_song=N:SLOT     the N-th song taken whole goes into SLOT instead of the slot it was sent to
//   drop_answer=N[:CMD]      the N-th answer it sends (junk not counted; with CMD, the N-th answer to that
//                            command) is lost on the way: the message has its effect, the program hears nothing
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tools/virtual_keyboard/virtual_peer.h"

namespace su::test {

constexpr std::uint32_t kForever = std::numeric_limits<std::uint32_t>::max();
constexpr int kAnyCommand = -1;

// Which protocol the simulated keyboard speaks.
enum class KeyboardFamily { A, B, C };

// A family A rule's command: the action, area and parameter bytes (5, 6, 7) of the messages it matches.
constexpr int KeyA(std::uint8_t action, std::uint8_t area, std::uint8_t parameter) {
  return (action << 16) | (area << 8) | parameter;
}
constexpr int kKeyABlock = KeyA(0x04, 0x10, 0x00);
constexpr int kKeyAClosing = KeyA(0x07, 0x10, 0x00);
constexpr int kKeyAReadReady = KeyA(0x01, 0x00, 0x20);

// A family B rule's command: the action, area and parameter bytes (5, 6, 13) of the messages it matches;
// data blocks and closing frames have parameter 00.
constexpr int KeyB(std::uint8_t action, std::uint8_t area, std::uint8_t parameter) {
  return (action << 16) | (area << 8) | parameter;
}
constexpr int kKeyBReadModel = KeyB(0x01, 0x00, 0x00);
constexpr int kKeyBReadFree = KeyB(0x01, 0x00, 0x22);
constexpr int kKeyBReadMaxSong = KeyB(0x01, 0x00, 0x23);
constexpr int kKeyBReadSize = KeyB(0x01, 0x21, 0x02);
constexpr int kKeyBReadName = KeyB(0x01, 0x21, 0x00);
constexpr int kKeyBDelete = KeyB(0x02, 0x00, 0x25);
constexpr int kKeyBBlock = KeyB(0x06, 0x21, 0x00);
constexpr int kKeyBFirstClosing = KeyB(0x0D, 0x21, 0x00);
constexpr int kKeyBSecondClosing = KeyB(0x0E, 0x21, 0x00);

// Family B block answer codes this keyboard sends on its own: a faulty block, and a song that does not fit.
constexpr std::uint8_t kKbBStopFault = 0x0F;
constexpr std::uint8_t kKbBStopNoRoom = 0x0C;

struct KeyboardSlot {
  std::uint8_t status = 0;            // 1: holds a song (family A reports it in the used byte; family B
                                      // reports only the size, 0 for an empty slot)
  std::string name;                   // the name the keyboard reports (bytes as stored; family A pads it
                                      // with spaces to its name field when it reports or writes it)
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
  OtherMaker,     // F0 43 14 00 06 F7: another maker's frame
};

// Reads the song title from a received song image; the default reads our image header (no name when the
// header cannot be read).
using TitleReader = std::function<std::string(const std::vector<std::uint8_t>& image)>;

struct KeyboardConfig {
  KeyboardFamily family = KeyboardFamily::C;
  std::uint16_t modelAddress = 0x1103;       // family A: 0x1103 or 0x1102
  std::optional<std::uint32_t> modelValue;   // family A: empty for 2 at 0x1103, 5 at 0x1102
  bool answersIdentity = true;
  std::uint8_t modelByte = 2;
  std::array<std::uint8_t, 4> modelInfo{};
  std::vector<KeyboardSlot> slots = std::vector<KeyboardSlot>(10);
  std::uint32_t freeMemory = 1u << 20;
  std::uint32_t maxSongSize = 65536;         // family B: the largest song it accepts
  std::uint32_t replyDelayMs = 0;
  std::vector<KeyboardRule> rules;
  std::vector<JunkFrame> junk;
  std::uint32_t junkTimes = kForever;
  TitleReader titleReader;  // empty: the default reader
  // Disagreements with what the program can know, as real keyboards have them:
  std::uint32_t songOverhead = 0;            // memory each stored song takes beyond its size (blocks, a header)
  std::uint32_t refuseSong = 0;              // the n-th song begun (1 the first; 0 none) is refused for memory
  std::optional<std::uint32_t> silentAfterSongs;  // after this many songs stored it answers nothing more
  std::uint32_t maxSongShrink = 0;           // family B: the largest song it takes falls by this per song stored
  std::uint32_t forgetSong = 0;              // the n-th song taken whole (1 the first; 0 none) is kept nowhere
  std::uint32_t misplaceSong = 0;            // the n-th song taken whole goes into misplaceSlot
  std::uint32_t misplaceSlot = 0;
  std::uint32_t dropAnswer = 0;              // the n-th answer sent (1 the first; 0 none) never arrives
  int dropAnswerCommand = kAnyCommand;       // counting only the answers to this command
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
  // A keyboard hung after its songs (silentAfterSongs) answers again, as after being switched off and on.
  void Resume();
  // Another program (or the user at the keyboard) changes a slot behind the program's back: `slot` is what
  // it holds now (status 1 with contents: a song, taking its memory; anything else: empty).
  void ChangeSlot(std::size_t index, KeyboardSlot slot);
  // The `n`-th answer it sends from now on (1 the next) is lost on the way, as drop_answer.
  void LoseAnswer(std::uint32_t n);

  // What it received and what it holds now.
  std::vector<std::vector<std::uint8_t>> Received() const;
  std::size_t CountReceived(std::uint8_t command) const;  // family C / identity messages with this command
  std::size_t CountReceivedA(int key) const;              // messages at the family A address with this KeyA
  std::size_t CountReceivedB(int key) const;              // messages at the family B address with this KeyB
  std::size_t AnswersSent() const;                        // real answers, junk not counted
  KeyboardSlot Slot(std::size_t index) const;
  std::size_t SlotCount() const;
  std::uint32_t FreeMemory() const;
  // Protocol faults it noticed in what the program sent (bad checksum, wrong block order or length, CRC
  // mismatch, a data byte with bit 7 set). Empty after a correct exchange.
  std::vector<std::string> Faults() const;
  // The image of the transfer under way (unpacked from the blocks so far).
  std::vector<std::uint8_t> PartialImage() const;
  // Families A and B: the data blocks taken in each transfer, one entry per block 0 received (a transfer
  // started or started over), and how many of those block 0s started over a transfer under way.
  std::vector<std::uint32_t> BlocksPerTransfer() const;
  std::uint32_t Restarts() const;
  // Songs taken whole (closing frames accepted) since it was made.
  std::uint32_t SongsStored() const;

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
  struct TransferA {  // family B's transfers too
    bool open = false;           // a block 0 came and the closing frames did not yet
    std::uint8_t slot = 0;
    std::uint32_t nextBlock = 0;
    bool lastBlockShort = false; // a block of fewer than 64 words must be the last
    bool firstClosing = false;   // the first closing frame came
    std::vector<std::uint8_t> image;
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
  void HandleFamilyA(const std::vector<std::uint8_t>& m, const KeyboardRule* acting, Answer* answer);
  void ReadA(const std::vector<std::uint8_t>& m, Answer* answer);
  void WriteA(const std::vector<std::uint8_t>& m);
  void DataBlockA(const std::vector<std::uint8_t>& m, const KeyboardRule* acting, Answer* answer);
  // What is wrong with a block of `w` words (families A and B lay their blocks out alike from byte 14), or ""
  // when it may be taken; a block 0 opens, or starts over, the transfer.
  std::string CheckWordBlock(const std::vector<std::uint8_t>& m, std::uint8_t slot, std::uint32_t k, std::uint32_t w);
  void ClosingA(const std::vector<std::uint8_t>& m);
  // The memory a stored song of `size` takes, and the room for a song in `slot` (the song it replaces freed).
  std::uint64_t Taken(std::uint32_t size) const { return std::uint64_t{size} + config_.songOverhead; }
  std::uint64_t RoomIn(const KeyboardSlot& slot) const {
    return std::uint64_t{config_.freeMemory} + (slot.status == 1 ? Taken(slot.size) : 0);
  }
  // A song begins (an announce, or a block 0 that is no start-over): true when it is the one refused.
  bool RefusesSongBegun();
  // `slot` now holds `contents`: the memory it takes, the largest song it shrinks.
  void Store(KeyboardSlot& slot, std::vector<std::uint8_t> contents);
  // Where a song taken whole and sent to slot `asked` goes: that slot, another one, or nowhere (nullptr).
  KeyboardSlot* SongTarget(std::uint8_t asked);
  void Free(KeyboardSlot& slot);
  const KeyboardRule* ActingRule(int command);
  std::size_t NameFieldA() const;
  static std::vector<std::uint8_t> JunkAnswerA(JunkFrame kind, const std::vector<std::uint8_t>& answer);
  void HandleFamilyB(const std::vector<std::uint8_t>& m, const KeyboardRule* acting, Answer* answer);
  void ReadB(const std::vector<std::uint8_t>& m, Answer* answer);
  void DeleteB(const std::vector<std::uint8_t>& m);
  void DataBlockB(const std::vector<std::uint8_t>& m, const KeyboardRule* acting, Answer* answer);
  void ClosingB(const std::vector<std::uint8_t>& m);
  static int KeyBOf(const std::vector<std::uint8_t>& m);
  static std::vector<std::uint8_t> JunkAnswerB(JunkFrame kind, const std::vector<std::uint8_t>& answer);

  mutable std::mutex mutex_;
  KeyboardConfig config_;
  std::vector<std::uint32_t> ruleSeen_;
  std::vector<std::uint32_t> ruleActed_;
  std::uint32_t junkSent_ = 0;
  std::size_t answersSent_ = 0;
  std::vector<std::vector<std::uint8_t>> received_;
  std::vector<std::string> faults_;
  Transfer transfer_;
  TransferA transferA_;
  std::vector<std::uint32_t> blocksPerTransfer_;
  std::uint32_t restarts_ = 0;
  std::uint32_t songsBegun_ = 0;
  std::uint32_t songsStored_ = 0;
  std::uint32_t songsTaken_ = 0;
  std::uint32_t dropCounted_ = 0;  // answers counted towards dropAnswer
};

// Reads the config format above into `config` (which keeps its values for keys not given). false with a
// message naming the line when a line cannot be read.
bool ParseKeyboardConfig(const std::string& text, KeyboardConfig* config, std::string* error);

// Frame builders of the keyboard's side.
std::vector<std::uint8_t> KeyboardAck(std::vector<std::uint8_t> params = {});
std::vector<std::uint8_t> KeyboardRefusal(std::uint8_t code);

}  // namespace su::test
