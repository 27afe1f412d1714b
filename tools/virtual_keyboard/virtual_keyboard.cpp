// The virtual keyboard's side of the identity exchange and of the family C protocol; family A is in
// virtual_keyboard_a.cpp, family B in virtual_keyboard_b.cpp.
#include "tools/virtual_keyboard/virtual_keyboard.h"

#include <utility>

#include "converter/song_image.h"
#include "midi/seven_bit.h"

namespace su::test {
namespace {

constexpr std::uint8_t kStart = 0xF0;
constexpr std::uint8_t kMaker = 0x44;
constexpr std::uint8_t kEnd = 0xF7;
constexpr std::uint8_t kAck = 0x06;
constexpr std::uint8_t kRefusal = 0x07;

constexpr std::uint8_t kCmdIdentity = 0x00;
constexpr std::uint8_t kCmdSlotInfo = 0x01;
constexpr std::uint8_t kCmdAnnounce = 0x03;
constexpr std::uint8_t kCmdBlock = 0x04;
constexpr std::uint8_t kCmdClose = 0x05;
constexpr std::uint8_t kCmdDelete = 0x09;
constexpr std::uint8_t kCmdFreeSpace = 0x0A;

constexpr std::uint32_t kBlockMax = 144;
constexpr std::size_t kNameMax = 31;

std::vector<std::uint8_t> Frame(std::uint8_t high, std::uint8_t low, std::uint8_t code,
                                const std::vector<std::uint8_t>& params) {
  std::vector<std::uint8_t> f(params.size() + 6);
  f[0] = kStart;
  f[1] = kMaker;
  f[2] = high;
  f[3] = low;
  f[4] = code;
  for (std::size_t i = 0; i < params.size(); ++i) f[5 + i] = params[i];
  f.back() = kEnd;
  return f;
}

std::vector<std::uint8_t> PackU32(std::uint32_t value) {
  const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                                 static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
  std::vector<std::uint8_t> out(5);
  PackSevenBit(out.data(), bytes, 4);
  return out;
}

std::uint32_t UnpackU32(const std::uint8_t* packed) {
  std::uint8_t b[4];
  UnpackSevenBit(b, packed, 5);
  return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
}

std::vector<std::uint8_t> Junk(JunkFrame kind) {
  switch (kind) {
    case JunkFrame::OtherAddress: return Frame(0x14, 0x01, kAck, {0x00});
    case JunkFrame::BrokenFraming: return {kStart, kMaker, 0x14, 0x00, kAck, 0x00};
    case JunkFrame::TooShort: return {kStart, kMaker, 0x14, 0x00, kEnd};
    case JunkFrame::OtherCode: return Frame(0x14, 0x00, 0x08, {0x00});
    case JunkFrame::OtherMaker: return {kStart, 0x43, 0x14, 0x00, kAck, kEnd};
  }
  return {};
}

// The keyboard shows the title stored in the song image; an image whose header it cannot read gets no name.
std::string DefaultTitle(const std::vector<std::uint8_t>& image) {
  std::string title;
  if (!conv::ReadSongImageTitle(image.data(), image.size(), &title)) title.clear();
  return title;
}

}  // namespace

std::vector<std::uint8_t> KeyboardAck(std::vector<std::uint8_t> params) { return Frame(0x14, 0x00, kAck, params); }

std::vector<std::uint8_t> KeyboardRefusal(std::uint8_t code) { return Frame(0x14, 0x00, kRefusal, {code}); }

VirtualKeyboard::VirtualKeyboard(KeyboardConfig config)
    : config_(std::move(config)), ruleSeen_(config_.rules.size()), ruleActed_(config_.rules.size()) {
  if (!config_.titleReader) config_.titleReader = DefaultTitle;
}

void VirtualKeyboard::AddRule(const KeyboardRule& rule) {
  std::lock_guard<std::mutex> lock(mutex_);
  config_.rules.push_back(rule);
  ruleSeen_.push_back(0);
  ruleActed_.push_back(0);
}

void VirtualKeyboard::SetReplyDelay(std::uint32_t ms) {
  std::lock_guard<std::mutex> lock(mutex_);
  config_.replyDelayMs = ms;
}

void VirtualKeyboard::SetJunk(std::vector<JunkFrame> junk, std::uint32_t times) {
  std::lock_guard<std::mutex> lock(mutex_);
  config_.junk = std::move(junk);
  config_.junkTimes = times;
  junkSent_ = 0;
}

const KeyboardRule* VirtualKeyboard::ActingRule(int command) {
  const KeyboardRule* acting = nullptr;
  for (std::size_t r = 0; r < config_.rules.size(); ++r) {
    const KeyboardRule& rule = config_.rules[r];
    if (rule.command != kAnyCommand && rule.command != command) continue;
    ++ruleSeen_[r];
    if (acting == nullptr && ruleSeen_[r] > rule.skip && ruleActed_[r] < rule.times) {
      ++ruleActed_[r];
      acting = &rule;
    }
  }
  return acting;
}

void VirtualKeyboard::OnMessage(const std::vector<std::uint8_t>& message, ReplySink& sink) {
  std::vector<std::vector<std::uint8_t>> out;
  std::uint32_t delay = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    received_.push_back(message);
    delay = config_.replyDelayMs;
    // A keyboard that hung after its last song: it takes nothing in and answers nothing.
    if (config_.silentAfterSongs && songsStored_ >= *config_.silentAfterSongs) return;

    Answer answer;
    int command = kAnyCommand;  // the message's command, as rules match it
    if (config_.family == KeyboardFamily::A) {
      // Only frames at its own model address concern a family A keyboard; the identity request and the
      // other families' probes go unanswered.
      const bool ours = message.size() >= 4 && message[0] == kStart && message[1] == kMaker &&
                        message[2] == (config_.modelAddress >> 8) && message[3] == (config_.modelAddress & 0xFF);
      if (!ours) return;
      if (message.size() < 13 || message.back() != kEnd) {
        Fault("frame of " + std::to_string(message.size()) + " bytes or without F7 at the end");
        return;
      }
      for (std::size_t i = 1; i + 1 < message.size(); ++i) {
        if (message[i] & 0x80) {
          Fault("byte " + std::to_string(i) + " has bit 7 set");
          return;
        }
      }
      command = KeyA(message[5], message[6], message[7]);
      const KeyboardRule* acting = ActingRule(command);
      if (acting != nullptr && acting->action == KeyboardRule::Action::Silent) return;
      if (acting != nullptr && acting->action == KeyboardRule::Action::Late) delay = acting->delayMs;
      HandleFamilyA(message, acting, &answer);
      if (answer.bytes.empty()) return;
    } else if (config_.family == KeyboardFamily::B) {
      // Only frames at 15 01 concern a family B keyboard.
      const bool ours = message.size() >= 4 && message[0] == kStart && message[1] == kMaker &&
                        message[2] == 0x15 && message[3] == 0x01;
      if (!ours) return;
      if (message.size() < 11 || message.back() != kEnd) {
        Fault("frame of " + std::to_string(message.size()) + " bytes or without F7 at the end");
        return;
      }
      for (std::size_t i = 1; i + 1 < message.size(); ++i) {
        if (message[i] & 0x80) {
          Fault("byte " + std::to_string(i) + " has bit 7 set");
          return;
        }
      }
      command = KeyBOf(message);
      const KeyboardRule* acting = ActingRule(command);
      if (acting != nullptr && acting->action == KeyboardRule::Action::Silent) return;
      if (acting != nullptr && acting->action == KeyboardRule::Action::Late) delay = acting->delayMs;
      HandleFamilyB(message, acting, &answer);
      if (answer.bytes.empty()) return;
    } else {
      const bool ours = message.size() >= 6 && message[0] == kStart && message[1] == kMaker &&
                        message[2] == 0x14 && message[3] == 0x00 && message.back() == kEnd;
      // Frames for other model addresses (the probes of families A and B) go unanswered.
      if (!ours) return;
      for (std::size_t i = 1; i + 1 < message.size(); ++i) {
        if (message[i] & 0x80) {
          Fault("byte " + std::to_string(i) + " has bit 7 set");
          break;
        }
      }

      command = message[4];
      const KeyboardRule* acting = ActingRule(command);
      if (acting != nullptr && acting->action == KeyboardRule::Action::Silent) return;
      if (acting != nullptr && acting->action == KeyboardRule::Action::Refuse) {
        answer.bytes = KeyboardRefusal(acting->code);
      } else {
        if (acting != nullptr) delay = acting->delayMs;
        HandleAddress1400(message, &answer);
      }
      if (answer.none) return;
    }

    if (junkSent_ < config_.junkTimes && !config_.junk.empty()) {
      ++junkSent_;
      for (JunkFrame kind : config_.junk) {
        std::vector<std::uint8_t> junk = config_.family == KeyboardFamily::A   ? JunkAnswerA(kind, answer.bytes)
                                         : config_.family == KeyboardFamily::B ? JunkAnswerB(kind, answer.bytes)
                                                                               : Junk(kind);
        if (!junk.empty()) out.push_back(std::move(junk));
      }
    }
    out.push_back(std::move(answer.bytes));
    ++answersSent_;
    // A lost answer: the message had its effect, but nothing reaches the program.
    if (config_.dropAnswerCommand == kAnyCommand || config_.dropAnswerCommand == command) {
      if (++dropCounted_ == config_.dropAnswer) return;
    }
  }
  // Outside the lock: a sink may deliver at once and the program may answer from inside. Frames follow each
  // other a millisecond apart, as they would on the cable, with the real answer last.
  for (std::size_t i = 0; i < out.size(); ++i) sink.Reply(std::move(out[i]), delay + static_cast<std::uint32_t>(i));
}

void VirtualKeyboard::HandleAddress1400(const std::vector<std::uint8_t>& m, Answer* answer) {
  if (m[4] == kCmdIdentity) {
    if (!config_.answersIdentity) {
      answer->none = true;
      return;
    }
    std::vector<std::uint8_t> params = {config_.modelByte};
    params.insert(params.end(), config_.modelInfo.begin(), config_.modelInfo.end());
    answer->bytes = Frame(0x14, 0x00, kCmdIdentity, params);
    return;
  }
  HandleFamilyC(m, answer);
}

void VirtualKeyboard::HandleFamilyC(const std::vector<std::uint8_t>& m, Answer* answer) {
  switch (m[4]) {
    case kCmdSlotInfo: ReadSlotInfo(m, answer); break;
    case kCmdAnnounce: Announce(m, answer); break;
    case kCmdBlock: DataBlock(m, answer); break;
    case kCmdClose: CloseTransfer(m, answer); break;
    case kCmdDelete: DeleteSong(m, answer); break;
    case kCmdFreeSpace: FreeSpace(answer); break;
    default:
      Fault("unknown command " + std::to_string(m[4]));
      answer->bytes = KeyboardRefusal(kKbBadRequest);
  }
}

void VirtualKeyboard::ReadSlotInfo(const std::vector<std::uint8_t>& m, Answer* answer) {
  if (m.size() != 7 || m[5] >= config_.slots.size()) {
    Fault("slot read of " + std::to_string(m.size()) + " bytes or for an unknown slot");
    answer->bytes = KeyboardRefusal(kKbBadRequest);
    return;
  }
  const KeyboardSlot& slot = config_.slots[m[5]];
  std::vector<std::uint8_t> params = {slot.status};
  const std::vector<std::uint8_t> size = PackU32(slot.size);
  params.insert(params.end(), size.begin(), size.end());
  if (!slot.name.empty()) {
    const std::size_t n = slot.name.size();
    std::vector<std::uint8_t> packed(PackedLength(static_cast<std::uint32_t>(n)));
    PackSevenBit(packed.data(), reinterpret_cast<const std::uint8_t*>(slot.name.data()),
                 static_cast<std::uint32_t>(n));
    params.insert(params.end(), packed.begin(), packed.end());
  }
  answer->bytes = KeyboardAck(params);
}

void VirtualKeyboard::Announce(const std::vector<std::uint8_t>& m, Answer* answer) {
  if (m.size() != 12 || m[5] >= config_.slots.size()) {
    Fault("announce of " + std::to_string(m.size()) + " bytes or for an unknown slot");
    answer->bytes = KeyboardRefusal(kKbBadRequest);
    return;
  }
  const std::uint32_t size = UnpackU32(&m[6]);
  const KeyboardSlot& slot = config_.slots[m[5]];
  if (Taken(size) > RoomIn(slot) || RefusesSongBegun()) {
    answer->bytes = KeyboardRefusal(kKbNoMemory);
    return;
  }
  transfer_ = Transfer{true, m[5], size, {}};
  transfer_.packed.reserve(PackedLength(size));
  answer->bytes = KeyboardAck();
}

void VirtualKeyboard::DataBlock(const std::vector<std::uint8_t>& m, Answer* answer) {
  if (!transfer_.open) {
    Fault("data block without an announced song");
    answer->bytes = KeyboardRefusal(kKbNoTransfer);
    return;
  }
  if (m.size() < 8) {
    Fault("data block of " + std::to_string(m.size()) + " bytes");
    answer->bytes = KeyboardRefusal(kKbOutOfOrder);
    return;
  }
  const std::uint32_t k = static_cast<std::uint32_t>(m.size() - 7);
  const std::uint32_t total = PackedLength(transfer_.size);
  const std::uint32_t have = static_cast<std::uint32_t>(transfer_.packed.size());
  const std::uint32_t left = total - have;
  const std::uint32_t expected = left < kBlockMax ? left : kBlockMax;
  if (k != expected) {
    Fault("block " + std::to_string(have / kBlockMax) + " carries " + std::to_string(k) + " bytes, expected " +
          std::to_string(expected));
    answer->bytes = KeyboardRefusal(kKbOutOfOrder);
    return;
  }
  std::uint32_t sum = 0;
  for (std::size_t i = 5; i < m.size() - 1; ++i) sum += m[i];
  if ((sum & 0x7F) != 0) {
    Fault("block " + std::to_string(have / kBlockMax) + " has a wrong checksum");
    answer->bytes = KeyboardRefusal(kKbBadChecksum);
    return;
  }
  transfer_.packed.insert(transfer_.packed.end(), m.begin() + 5, m.end() - 2);
  answer->bytes = KeyboardAck();
}

void VirtualKeyboard::CloseTransfer(const std::vector<std::uint8_t>& m, Answer* answer) {
  if (!transfer_.open) {
    Fault("closing message without an announced song");
    answer->bytes = KeyboardRefusal(kKbNoTransfer);
    return;
  }
  if (m.size() != 11) {
    Fault("closing message of " + std::to_string(m.size()) + " bytes");
    answer->bytes = KeyboardRefusal(kKbBadRequest);
    return;
  }
  if (transfer_.packed.size() != PackedLength(transfer_.size)) {
    Fault("closing message after " + std::to_string(transfer_.packed.size()) + " of " +
          std::to_string(PackedLength(transfer_.size)) + " packed bytes");
    answer->bytes = KeyboardRefusal(kKbOutOfOrder);
    return;
  }
  std::vector<std::uint8_t> image(transfer_.size);
  UnpackSevenBit(image.data(), transfer_.packed.data(), static_cast<std::uint32_t>(transfer_.packed.size()));
  const std::uint32_t sent = UnpackU32(&m[5]);
  const std::uint32_t actual = Crc32(image.data(), static_cast<std::uint32_t>(image.size()));
  if (sent != actual) {
    Fault("closing CRC-32 " + std::to_string(sent) + " does not match the image's " + std::to_string(actual));
    answer->bytes = KeyboardRefusal(kKbBadCrc);
    return;
  }
  const std::string title = config_.titleReader(image);
  if (KeyboardSlot* slot = SongTarget(transfer_.slot)) {
    Store(*slot, std::move(image));
    slot->name = title;
    if (slot->name.size() > kNameMax) slot->name.resize(kNameMax);
  }
  transfer_ = Transfer{};
  answer->bytes = KeyboardAck();
}

void VirtualKeyboard::DeleteSong(const std::vector<std::uint8_t>& m, Answer* answer) {
  if (m.size() != 7 || m[5] >= config_.slots.size()) {
    Fault("delete of " + std::to_string(m.size()) + " bytes or for an unknown slot");
    answer->bytes = KeyboardRefusal(kKbBadRequest);
    return;
  }
  Free(config_.slots[m[5]]);
  answer->bytes = KeyboardAck();
}

void VirtualKeyboard::FreeSpace(Answer* answer) { answer->bytes = KeyboardAck(PackU32(config_.freeMemory)); }

void VirtualKeyboard::Fault(const std::string& what) { faults_.push_back(what); }

void VirtualKeyboard::Resume() {
  std::lock_guard<std::mutex> lock(mutex_);
  config_.silentAfterSongs.reset();
}

bool VirtualKeyboard::RefusesSongBegun() { return ++songsBegun_ == config_.refuseSong; }

void VirtualKeyboard::Store(KeyboardSlot& slot, std::vector<std::uint8_t> contents) {
  Free(slot);
  const auto size = static_cast<std::uint32_t>(contents.size());
  const std::uint64_t taken = Taken(size);
  config_.freeMemory = taken < config_.freeMemory ? static_cast<std::uint32_t>(config_.freeMemory - taken) : 0;
  slot.status = 1;
  slot.size = size;
  slot.contents = std::move(contents);
  ++songsStored_;
  config_.maxSongSize -= config_.maxSongSize < config_.maxSongShrink ? config_.maxSongSize : config_.maxSongShrink;
}

KeyboardSlot* VirtualKeyboard::SongTarget(std::uint8_t asked) {
  ++songsTaken_;
  if (songsTaken_ == config_.forgetSong) {
    Free(config_.slots[asked]);
    return nullptr;
  }
  if (songsTaken_ == config_.misplaceSong && config_.misplaceSlot < config_.slots.size()) {
    return &config_.slots[config_.misplaceSlot];
  }
  return &config_.slots[asked];
}

void VirtualKeyboard::LoseAnswer(std::uint32_t n) {
  std::lock_guard<std::mutex> lock(mutex_);
  config_.dropAnswerCommand = kAnyCommand;
  dropCounted_ = static_cast<std::uint32_t>(answersSent_);
  config_.dropAnswer = dropCounted_ + n;
}

void VirtualKeyboard::ChangeSlot(std::size_t index, KeyboardSlot slot) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (index >= config_.slots.size()) return;
  KeyboardSlot& target = config_.slots[index];
  Free(target);
  if (slot.status != 1) return;
  const std::uint64_t taken = Taken(slot.size);
  config_.freeMemory = taken < config_.freeMemory ? static_cast<std::uint32_t>(config_.freeMemory - taken) : 0;
  target = std::move(slot);
}

void VirtualKeyboard::Free(KeyboardSlot& slot) {
  if (slot.status == 1) config_.freeMemory = static_cast<std::uint32_t>(RoomIn(slot));
  slot = KeyboardSlot{};
}

std::uint32_t VirtualKeyboard::SongsStored() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return songsStored_;
}

std::vector<std::vector<std::uint8_t>> VirtualKeyboard::Received() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

std::size_t VirtualKeyboard::CountReceived(std::uint8_t command) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::size_t n = 0;
  for (const auto& m : received_)
    if (m.size() >= 6 && m[2] == 0x14 && m[3] == 0x00 && m[4] == command) ++n;
  return n;
}

std::size_t VirtualKeyboard::AnswersSent() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return answersSent_;
}

KeyboardSlot VirtualKeyboard::Slot(std::size_t index) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return index < config_.slots.size() ? config_.slots[index] : KeyboardSlot{};
}

std::size_t VirtualKeyboard::SlotCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return config_.slots.size();
}

std::uint32_t VirtualKeyboard::FreeMemory() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return config_.freeMemory;
}

std::vector<std::string> VirtualKeyboard::Faults() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return faults_;
}

std::vector<std::uint8_t> VirtualKeyboard::PartialImage() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (config_.family != KeyboardFamily::C) return transferA_.image;
  std::vector<std::uint8_t> image(transfer_.packed.size());
  image.resize(UnpackSevenBit(image.data(), transfer_.packed.data(),
                              static_cast<std::uint32_t>(transfer_.packed.size())));
  return image;
}

}  // namespace su::test
