// The virtual keyboard's side of the family A protocol, written from the frames a family A keyboard
// receives and sends: reads answered with five-septet numbers, writes taken without an answer, data blocks
// of word triplets answered with a code, and the two closing frames that store what was received.
#include <string>
#include <utility>

#include "tools/virtual_keyboard/virtual_keyboard.h"

namespace su::test {
namespace {

constexpr std::uint8_t kStart = 0xF0;
constexpr std::uint8_t kMaker = 0x44;
constexpr std::uint8_t kEnd = 0xF7;

// Byte 5 of a frame the program sends.
constexpr std::uint8_t kWrite = 0x00;
constexpr std::uint8_t kRead = 0x01;
constexpr std::uint8_t kBlock = 0x04;
constexpr std::uint8_t kClosing = 0x07;

// Byte 6.
constexpr std::uint8_t kAreaKeyboard = 0x00;
constexpr std::uint8_t kAreaSlot = 0x10;

// Byte 7, with byte 8's fixed value for each.
constexpr std::uint8_t kParamModel = 0x00, kModelByte8 = 0x0D;
constexpr std::uint8_t kParamReady = 0x20, kReadyByte8 = 0x06;
constexpr std::uint8_t kParamFree = 0x22, kFreeByte8 = 0x1F;
constexpr std::uint8_t kParamDelete = 0x27, kDeleteByte8 = 0x0F;
constexpr std::uint8_t kParamUsed = 0x00, kUsedByte8 = 0x00;
constexpr std::uint8_t kParamSize = 0x03, kSizeByte8 = 0x1F;
constexpr std::uint8_t kParamName = 0x04, kNameByte8 = 0x1F;  // pieces 04, 05 and (at 0x1103) 06
constexpr std::uint8_t kBlockByte8 = 0x4F;

// Block answer codes.
constexpr std::uint8_t kTaken = 0x00;
constexpr std::uint8_t kStop = 0x02;
constexpr std::uint8_t kStartOver = 0x03;

constexpr std::uint32_t kWordsPerBlock = 64;
constexpr std::size_t kReadLength = 13;
constexpr std::size_t kBlockHead = 14;  // bytes before the first triplet

std::string Hex(std::uint8_t b) {
  static const char digits[] = "0123456789ABCDEF";
  return std::string{digits[b >> 4], digits[b & 0x0F]};
}

std::string Describe(const std::vector<std::uint8_t>& m) {
  return "action " + Hex(m[5]) + " area " + Hex(m[6]) + " parameter " + Hex(m[7]);
}

std::uint32_t FiveSeptets(const std::uint8_t* b) {
  return std::uint32_t{b[0]} | std::uint32_t{b[1]} << 7 | std::uint32_t{b[2]} << 14 | std::uint32_t{b[3]} << 21 |
         std::uint32_t{b[4]} << 28;
}

// The answer to a read: the request's area, parameter, byte 8 and slot, and the value as a five-septet number.
std::vector<std::uint8_t> ReadAnswer(const std::vector<std::uint8_t>& m, std::uint32_t v) {
  return {kStart, kMaker, m[2], m[3], 0x00, 0x00, m[6], m[7], m[8], m[9], 0x00, 0x00,
          static_cast<std::uint8_t>(v & 0x7F), static_cast<std::uint8_t>((v >> 7) & 0x7F),
          static_cast<std::uint8_t>((v >> 14) & 0x7F), static_cast<std::uint8_t>((v >> 21) & 0x7F),
          static_cast<std::uint8_t>(v >> 28), kEnd};
}

std::vector<std::uint8_t> BlockAnswer(const std::vector<std::uint8_t>& m, std::uint8_t code) {
  return {kStart, kMaker, m[2], m[3], 0x00, kClosing, kAreaSlot, 0x00, 0x00, m[9], 0x00, code, kEnd};
}

}  // namespace

std::size_t VirtualKeyboard::NameFieldA() const { return config_.modelAddress == 0x1103 ? 12 : 8; }

void VirtualKeyboard::HandleFamilyA(const std::vector<std::uint8_t>& m, const KeyboardRule* acting,
                                    Answer* answer) {
  if (m[4] != 0x7F) Fault(Describe(m) + ": byte 4 is " + Hex(m[4]) + ", not 7F");
  switch (m[5]) {
    case kRead:
      ReadA(m, answer);
      // Not ready is scripted as a refusal of the ready read: its code goes into byte 12.
      if (!answer->bytes.empty() && acting != nullptr && acting->action == KeyboardRule::Action::Refuse &&
          KeyA(m[5], m[6], m[7]) == kKeyAReadReady) {
        answer->bytes[12] = acting->code;
      }
      break;
    case kWrite: WriteA(m); break;
    case kBlock: DataBlockA(m, acting, answer); break;
    case kClosing: ClosingA(m); break;
    default: Fault(Describe(m) + ": unknown action");
  }
}

void VirtualKeyboard::ReadA(const std::vector<std::uint8_t>& m, Answer* answer) {
  if (m.size() != kReadLength || m[10] != 0 || m[11] != 0) {
    Fault(Describe(m) + ": a read of " + std::to_string(m.size()) + " bytes or with bytes 10, 11 not 00 00");
    return;
  }
  const std::uint8_t area = m[6], param = m[7], byte8 = m[8], slot = m[9];
  std::uint8_t expected = 0;
  std::uint32_t value = 0;
  if (area == kAreaKeyboard) {
    if (param == kParamModel) {
      expected = kModelByte8;
      value = config_.modelValue ? *config_.modelValue : (config_.modelAddress == 0x1103 ? 2 : 5);
    } else if (param == kParamReady) {
      expected = kReadyByte8;
      value = 0;
    } else if (param == kParamFree) {
      expected = kFreeByte8;
      value = config_.freeMemory;
    } else {
      Fault(Describe(m) + ": no such read");
      return;
    }
    if (slot != 0) {
      Fault(Describe(m) + ": byte 9 is " + Hex(slot) + ", not 00");
      return;
    }
  } else if (area == kAreaSlot) {
    if (slot >= config_.slots.size()) {
      Fault(Describe(m) + ": no slot " + std::to_string(slot));
      return;
    }
    const KeyboardSlot& s = config_.slots[slot];
    const std::size_t pieces = NameFieldA() / 4;
    if (param == kParamUsed) {
      expected = kUsedByte8;
      value = s.status;
    } else if (param == kParamSize) {
      expected = kSizeByte8;
      value = s.size;
    } else if (param >= kParamName && param < kParamName + pieces) {
      expected = kNameByte8;
      std::string name = s.name;
      name.resize(NameFieldA(), ' ');
      const std::size_t at = 4 * static_cast<std::size_t>(param - kParamName);
      for (std::size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<std::uint8_t>(name[at + i]);
    } else {
      Fault(Describe(m) + ": no such read");
      return;
    }
  } else {
    Fault(Describe(m) + ": no such area");
    return;
  }
  if (byte8 != expected) {
    Fault(Describe(m) + ": byte 8 is " + Hex(byte8) + ", not " + Hex(expected));
    return;
  }
  answer->bytes = ReadAnswer(m, value);
}

void VirtualKeyboard::WriteA(const std::vector<std::uint8_t>& m) {
  const std::uint8_t area = m[6], param = m[7], byte8 = m[8];
  auto zeros = [&](std::size_t from, std::size_t to) {
    for (std::size_t i = from; i <= to; ++i)
      if (m[i] != 0) return false;
    return true;
  };
  if (area == kAreaKeyboard && param == kParamReady) {
    // Prepare: F0 44 11 ss 7F 00 00 20 06 00 00 00 00 F7. Nothing to do but be ready.
    if (m.size() != 14 || byte8 != kReadyByte8 || !zeros(9, 12)) Fault(Describe(m) + ": malformed prepare");
    return;
  }
  if (area == kAreaKeyboard && param == kParamDelete) {
    // Delete: F0 44 11 ss 7F 00 00 27 0F 00 00 00 nn 00 00 F7.
    if (m.size() != 16 || byte8 != kDeleteByte8 || !zeros(9, 11) || !zeros(13, 14) ||
        m[12] >= config_.slots.size()) {
      Fault(Describe(m) + ": malformed delete");
      return;
    }
    Free(config_.slots[m[12]]);
    return;
  }
  const std::size_t pieces = NameFieldA() / 4;
  if (area == kAreaSlot && param >= kParamName && param < kParamName + pieces) {
    // Name piece: F0 44 11 ss 7F 00 10 pp 1F nn 00 00 b0 b1 b2 b3 b4 F7.
    if (m.size() != 18 || byte8 != kNameByte8 || m[9] >= config_.slots.size() || !zeros(10, 11) || m[16] > 0x0F) {
      Fault(Describe(m) + ": malformed name write");
      return;
    }
    const std::uint32_t v = FiveSeptets(&m[12]);
    KeyboardSlot& slot = config_.slots[m[9]];
    slot.name.resize(NameFieldA(), ' ');
    const std::size_t at = 4 * static_cast<std::size_t>(param - kParamName);
    for (std::size_t i = 0; i < 4; ++i) slot.name[at + i] = static_cast<char>(v >> (24 - 8 * i));
    return;
  }
  Fault(Describe(m) + ": no such write");
}

std::string VirtualKeyboard::CheckWordBlock(const std::vector<std::uint8_t>& m, std::uint8_t slot, std::uint32_t k,
                                            std::uint32_t w) {
  if (w == 0 || w > kWordsPerBlock) return std::to_string(w) + " words";
  if (m.size() != kBlockHead + 3 * w + 2) return std::to_string(m.size()) + " bytes for " + std::to_string(w) + " words";
  std::uint32_t sum = 0;
  for (std::size_t i = kBlockHead; i < kBlockHead + 3 * w + 1; ++i) sum += m[i];
  if (sum % 128 != 0) return "the checksum does not add up";
  for (std::size_t i = 0; i < w; ++i) {
    if (m[kBlockHead + 3 * i + 2] > 3) return "word " + std::to_string(i) + " has a third byte above 3";
  }

  if (k == 0) {
    if (transferA_.open) ++restarts_;
    blocksPerTransfer_.push_back(0);
    transferA_ = TransferA{true, slot, 0, false, false, {}};
  } else if (!transferA_.open || k != transferA_.nextBlock || slot != transferA_.slot) {
    return transferA_.open ? "expected block " + std::to_string(transferA_.nextBlock) + " for slot " +
                                 std::to_string(transferA_.slot)
                           : "no transfer under way";
  } else if (transferA_.lastBlockShort) {
    return "comes after a short block";
  }
  return "";
}

void VirtualKeyboard::DataBlockA(const std::vector<std::uint8_t>& m, const KeyboardRule* acting,
                                 Answer* answer) {
  // F0 44 11 ss 7F 04 10 00 4F nn 00 k-low k-high w, 3w triplet bytes, checksum, F7.
  if (m.size() < kBlockHead + 2 || m[6] != kAreaSlot || m[7] != 0x00 || m[8] != kBlockByte8 || m[10] != 0x00 ||
      m[9] >= config_.slots.size()) {
    Fault(Describe(m) + ": malformed data block head");
    if (m.size() >= kBlockHead) answer->bytes = BlockAnswer(m, kStop);
    transferA_ = TransferA{};
    return;
  }
  const std::uint8_t slot = m[9];
  const std::uint32_t k = m[11] | std::uint32_t{m[12]} << 7;
  const std::uint32_t w = m[13];
  const std::string which = "block " + std::to_string(k);
  auto stop = [&](const std::string& why) {
    Fault(which + ": " + why);
    answer->bytes = BlockAnswer(m, kStop);
    transferA_ = TransferA{};
  };
  const bool begins = k == 0 && !transferA_.open;
  const std::string wrong = CheckWordBlock(m, slot, k, w);
  if (!wrong.empty()) return stop(wrong);
  if (begins && RefusesSongBegun()) {
    // No room for this song after all: a stop, as for any song that outgrows the memory.
    answer->bytes = BlockAnswer(m, kStop);
    transferA_ = TransferA{};
    return;
  }

  if (acting != nullptr && acting->action == KeyboardRule::Action::Refuse) {
    // Scripted: the block is not taken; start over waits for block 0, stop ends the transfer.
    answer->bytes = BlockAnswer(m, acting->code);
    if (acting->code == kStartOver) {
      transferA_.nextBlock = 0;
      transferA_.lastBlockShort = false;
      transferA_.image.clear();
    } else {
      transferA_ = TransferA{};
    }
    return;
  }

  if (Taken(static_cast<std::uint32_t>(transferA_.image.size() + 2 * w)) > RoomIn(config_.slots[slot])) {
    // Not the program's fault when the keyboard takes more than the song's size: it cannot know that.
    if (config_.songOverhead == 0) return stop("the song does not fit in the free memory");
    answer->bytes = BlockAnswer(m, kStop);
    transferA_ = TransferA{};
    return;
  }

  for (std::size_t i = 0; i < w; ++i) {
    const std::uint8_t* t = &m[kBlockHead + 3 * i];
    const std::uint32_t word = t[0] | std::uint32_t{t[1]} << 7 | std::uint32_t{t[2]} << 14;
    transferA_.image.push_back(static_cast<std::uint8_t>(word >> 8));
    transferA_.image.push_back(static_cast<std::uint8_t>(word));
  }
  ++transferA_.nextBlock;
  transferA_.lastBlockShort = w < kWordsPerBlock;
  ++blocksPerTransfer_.back();
  answer->bytes = BlockAnswer(m, kTaken);
}

void VirtualKeyboard::ClosingA(const std::vector<std::uint8_t>& m) {
  // F0 44 11 ss 7F 07 10 00 00 nn 00 00 F7, then the same with 05 in byte 11.
  if (m.size() != kReadLength || m[6] != kAreaSlot || m[7] != 0x00 || m[8] != 0x00 || m[10] != 0x00 ||
      (m[11] != 0x00 && m[11] != 0x05) || m[9] >= config_.slots.size()) {
    Fault(Describe(m) + ": malformed closing frame");
    return;
  }
  const std::uint8_t slot = m[9];
  if (transferA_.open && slot != transferA_.slot) {
    Fault("closing frame for slot " + std::to_string(slot) + " after blocks for slot " +
          std::to_string(transferA_.slot));
    transferA_ = TransferA{};
    return;
  }
  if (m[11] == 0x00) {
    transferA_.firstClosing = true;
    return;
  }
  if (!transferA_.firstClosing) {
    Fault("second closing frame without the first");
    transferA_ = TransferA{};
    return;
  }
  // What was received (nothing, for a song of no blocks) becomes the slot's song, with a blank name.
  if (KeyboardSlot* target = SongTarget(slot)) {
    Store(*target, std::move(transferA_.image));
    target->name.assign(NameFieldA(), ' ');
  }
  transferA_ = TransferA{};
}

std::vector<std::uint8_t> VirtualKeyboard::JunkAnswerA(JunkFrame kind, const std::vector<std::uint8_t>& answer) {
  // A copy of the real answer carrying a wrong value, then spoilt the way `kind` says.
  std::vector<std::uint8_t> j = answer;
  const bool block = answer.size() == 13;
  if (block) {
    j[11] = kStop;
  } else {
    for (std::size_t i = 12; i < 16; ++i) j[i] = 0x7F;
    j[16] = 0x0F;
  }
  switch (kind) {
    case JunkFrame::OtherAddress: j[3] = j[3] == 0x03 ? 0x02 : 0x03; break;
    case JunkFrame::BrokenFraming: j.pop_back(); break;
    case JunkFrame::TooShort:
      j.resize(block ? 10 : 14);  // ends before the code byte (11) or the number's last bytes (14..16)
      j.push_back(kEnd);
      break;
    case JunkFrame::OtherCode: j[7] ^= 0x01; break;
    case JunkFrame::OtherMaker: j[1] = 0x43; break;
  }
  return j;
}

std::size_t VirtualKeyboard::CountReceivedA(int key) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::size_t n = 0;
  for (const auto& m : received_) {
    if (m.size() >= 8 && m[2] == (config_.modelAddress >> 8) && m[3] == (config_.modelAddress & 0xFF) &&
        KeyA(m[5], m[6], m[7]) == key) {
      ++n;
    }
  }
  return n;
}

std::vector<std::uint32_t> VirtualKeyboard::BlocksPerTransfer() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return blocksPerTransfer_;
}

std::uint32_t VirtualKeyboard::Restarts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return restarts_;
}

}  // namespace su::test
