// The virtual keyboard's side of the family B protocol, written from the frames a family B keyboard receives
// and sends: 18-byte reads answered with the model byte, a five-septet number or twelve name bytes, the
// delete write taken without an answer, data blocks of word triplets answered with a code, and the two
// closing frames that store what was received.
#include <string>
#include <utility>

#include "tools/virtual_keyboard/virtual_keyboard.h"

namespace su::test {
namespace {

constexpr std::uint8_t kStart = 0xF0;
constexpr std::uint8_t kMaker = 0x44;
constexpr std::uint8_t kEnd = 0xF7;
constexpr std::uint8_t kAddressHigh = 0x15;
constexpr std::uint8_t kAddressLow = 0x01;

// Byte 5 of a frame the program sends, and of a read's answer.
constexpr std::uint8_t kRead = 0x01;
constexpr std::uint8_t kWrite = 0x02;
constexpr std::uint8_t kBlock = 0x06;
constexpr std::uint8_t kFirstClosing = 0x0D;
constexpr std::uint8_t kSecondClosing = 0x0E;
constexpr std::uint8_t kReadAnswer = 0x02;

// Byte 6.
constexpr std::uint8_t kAreaKeyboard = 0x00;
constexpr std::uint8_t kAreaSlot = 0x21;

// Byte 13 (the parameter), with byte 16's value in the read.
constexpr std::uint8_t kParamModel = 0x00;
constexpr std::uint8_t kParamFree = 0x22;
constexpr std::uint8_t kParamMaxSong = 0x23;
constexpr std::uint8_t kParamDelete = 0x25;
constexpr std::uint8_t kParamSize = 0x02;
constexpr std::uint8_t kParamName = 0x00;
constexpr std::uint8_t kNameByte16 = 0x0B;

constexpr std::uint8_t kTaken = 0x00;

constexpr std::size_t kReadLength = 18;
constexpr std::size_t kDeleteLength = 19;
constexpr std::size_t kClosingLength = 11;
constexpr std::size_t kBlockHead = 14;  // bytes before the first triplet
constexpr std::uint32_t kWordsPerBlock = 64;
constexpr std::size_t kNameField = 12;

std::string Hex(std::uint8_t b) {
  static const char digits[] = "0123456789ABCDEF";
  return std::string{digits[b >> 4], digits[b & 0x0F]};
}

std::string Describe(const std::vector<std::uint8_t>& m) {
  return "action " + Hex(m[5]) + " area " + Hex(m[6]) + (m.size() > 13 ? " parameter " + Hex(m[13]) : "");
}

bool Zeros(const std::vector<std::uint8_t>& m, std::size_t from, std::size_t to) {
  for (std::size_t i = from; i <= to; ++i)
    if (m[i] != 0) return false;
  return true;
}

// A stop code ends the transfer: the program stops on codes whose low four bits are B, C or F.
bool IsStop(std::uint8_t code) {
  const std::uint8_t low = code & 0x0F;
  return low == 0x0B || low == 0x0C || low == 0x0F;
}

// The answer to a read: the request's area, slot, parameter and byte 16, then the value and F7.
std::vector<std::uint8_t> ReadAnswer(const std::vector<std::uint8_t>& m, const std::vector<std::uint8_t>& value) {
  std::vector<std::uint8_t> a = {kStart, kMaker, kAddressHigh, kAddressLow, 0x00, kReadAnswer, m[6], 0x00, m[8],
                                 0x00,   0x00,   0x00,         0x00,        m[13], 0x00,        0x00, m[16]};
  for (std::uint8_t b : value) a.push_back(b);
  a.push_back(kEnd);
  return a;
}

std::vector<std::uint8_t> FiveSeptets(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v & 0x7F), static_cast<std::uint8_t>((v >> 7) & 0x7F),
          static_cast<std::uint8_t>((v >> 14) & 0x7F), static_cast<std::uint8_t>((v >> 21) & 0x7F),
          static_cast<std::uint8_t>(v >> 28)};
}

std::vector<std::uint8_t> BlockAnswer(std::uint8_t slot, std::uint8_t code) {
  return {kStart, kMaker, kAddressHigh, kAddressLow, 0x00, code, kAreaSlot, 0x00, slot, 0x00, kEnd};
}

}  // namespace

int VirtualKeyboard::KeyBOf(const std::vector<std::uint8_t>& m) {
  const bool hasParameter = (m[5] == kRead || m[5] == kWrite) && m.size() > 13;
  return KeyB(m[5], m[6], hasParameter ? m[13] : 0x00);
}

void VirtualKeyboard::HandleFamilyB(const std::vector<std::uint8_t>& m, const KeyboardRule* acting,
                                    Answer* answer) {
  if (m[4] != 0x7F) Fault(Describe(m) + ": byte 4 is " + Hex(m[4]) + ", not 7F");
  switch (m[5]) {
    case kRead: ReadB(m, answer); break;
    case kWrite: DeleteB(m); break;
    case kBlock: DataBlockB(m, acting, answer); break;
    case kFirstClosing:
    case kSecondClosing: ClosingB(m); break;
    default: Fault(Describe(m) + ": unknown action");
  }
}

void VirtualKeyboard::ReadB(const std::vector<std::uint8_t>& m, Answer* answer) {
  // F0 44 15 01 7F 01 area 00 slot 00 00 00 00 param 00 00 byte16 F7.
  if (m.size() != kReadLength || m[7] != 0 || !Zeros(m, 9, 12) || !Zeros(m, 14, 15)) {
    Fault(Describe(m) + ": a read of " + std::to_string(m.size()) + " bytes or with a nonzero filler byte");
    return;
  }
  const std::uint8_t area = m[6], slot = m[8], param = m[13], byte16 = m[16];
  std::uint8_t expected16 = 0x00;
  std::vector<std::uint8_t> value;
  if (area == kAreaKeyboard) {
    if (param == kParamModel) {
      value = {config_.modelByte};
    } else if (param == kParamFree) {
      value = FiveSeptets(config_.freeMemory);
    } else if (param == kParamMaxSong) {
      value = FiveSeptets(config_.maxSongSize);
    } else {
      Fault(Describe(m) + ": no such read");
      return;
    }
    if (slot != 0) {
      Fault(Describe(m) + ": byte 8 is " + Hex(slot) + ", not 00");
      return;
    }
  } else if (area == kAreaSlot) {
    if (slot >= config_.slots.size()) {
      Fault(Describe(m) + ": no slot " + std::to_string(slot));
      return;
    }
    const KeyboardSlot& s = config_.slots[slot];
    if (param == kParamSize) {
      value = FiveSeptets(s.size);
    } else if (param == kParamName) {
      expected16 = kNameByte16;
      std::string name = s.name;
      name.resize(kNameField, ' ');
      value.assign(name.begin(), name.end());
    } else {
      Fault(Describe(m) + ": no such read");
      return;
    }
  } else {
    Fault(Describe(m) + ": no such area");
    return;
  }
  if (byte16 != expected16) {
    Fault(Describe(m) + ": byte 16 is " + Hex(byte16) + ", not " + Hex(expected16));
    return;
  }
  answer->bytes = ReadAnswer(m, value);
}

void VirtualKeyboard::DeleteB(const std::vector<std::uint8_t>& m) {
  // F0 44 15 01 7F 02 00 00 00 00 00 00 00 25 00 00 00 nn F7.
  if (m.size() != kDeleteLength || m[6] != kAreaKeyboard || m[13] != kParamDelete || !Zeros(m, 7, 12) ||
      !Zeros(m, 14, 16) || m[17] >= config_.slots.size()) {
    Fault(Describe(m) + ": malformed delete or no such write");
    return;
  }
  Free(config_.slots[m[17]]);
}

void VirtualKeyboard::DataBlockB(const std::vector<std::uint8_t>& m, const KeyboardRule* acting,
                                 Answer* answer) {
  // F0 44 15 01 7F 06 21 00 nn 00 k0 k1 k2 w-1, 3w triplet bytes, checksum, F7.
  if (m.size() < kBlockHead + 2 || m[6] != kAreaSlot || m[7] != 0x00 || m[9] != 0x00 ||
      m[8] >= config_.slots.size()) {
    Fault(Describe(m) + ": malformed data block head");
    if (m.size() >= 9) answer->bytes = BlockAnswer(m[8], kKbBStopFault);
    transferA_ = TransferA{};
    return;
  }
  const std::uint8_t slot = m[8];
  const std::uint32_t k = m[10] | std::uint32_t{m[11]} << 7 | std::uint32_t{m[12]} << 14;
  const std::uint32_t w = std::uint32_t{m[13]} + 1;
  const std::string which = "block " + std::to_string(k);
  auto stop = [&](const std::string& why) {
    Fault(which + ": " + why);
    answer->bytes = BlockAnswer(slot, kKbBStopFault);
    transferA_ = TransferA{};
  };
  const bool begins = k == 0 && !transferA_.open;
  const std::string wrong = CheckWordBlock(m, slot, k, w);
  if (!wrong.empty()) return stop(wrong);
  if (begins && RefusesSongBegun()) {
    answer->bytes = BlockAnswer(slot, kKbBStopNoRoom);
    transferA_ = TransferA{};
    return;
  }

  std::uint8_t code = kTaken;
  if (acting != nullptr && acting->action == KeyboardRule::Action::Refuse) {
    code = acting->code;
    if (IsStop(code)) {
      // Scripted: the block is not taken and the transfer ends.
      answer->bytes = BlockAnswer(slot, code);
      transferA_ = TransferA{};
      return;
    }
  }

  const std::uint64_t size = transferA_.image.size() + 2 * w;
  if (size > config_.maxSongSize) return stop("the song grows beyond the largest song accepted");
  if (Taken(static_cast<std::uint32_t>(size)) > RoomIn(config_.slots[slot])) {
    // Not the program's fault: it does not know the room. The transfer ends.
    answer->bytes = BlockAnswer(slot, kKbBStopNoRoom);
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
  answer->bytes = BlockAnswer(slot, code);
}

void VirtualKeyboard::ClosingB(const std::vector<std::uint8_t>& m) {
  // F0 44 15 01 7F 0D 21 00 nn 00 F7, then the same with 0E in byte 5.
  if (m.size() != kClosingLength || m[6] != kAreaSlot || m[7] != 0x00 || m[9] != 0x00 ||
      m[8] >= config_.slots.size()) {
    Fault(Describe(m) + ": malformed closing frame");
    return;
  }
  const std::uint8_t slot = m[8];
  if (!transferA_.open || slot != transferA_.slot) {
    Fault("closing frame " + Hex(m[5]) + " for slot " + std::to_string(slot) +
          (transferA_.open ? " after blocks for slot " + std::to_string(transferA_.slot) : " with no blocks taken"));
    transferA_ = TransferA{};
    return;
  }
  if (m[5] == kFirstClosing) {
    transferA_.firstClosing = true;
    return;
  }
  if (!transferA_.firstClosing) {
    Fault("second closing frame without the first");
    transferA_ = TransferA{};
    return;
  }
  // What was received replaces the slot's song, named with the image's title.
  const std::string title = config_.titleReader(transferA_.image);
  if (KeyboardSlot* target = SongTarget(slot)) {
    Store(*target, std::move(transferA_.image));
    target->name = title;
    if (target->name.size() > kNameField) target->name.resize(kNameField);
  }
  transferA_ = TransferA{};
}

std::vector<std::uint8_t> VirtualKeyboard::JunkAnswerB(JunkFrame kind, const std::vector<std::uint8_t>& answer) {
  // A copy of the real answer carrying a wrong value, then spoilt the way `kind` says.
  std::vector<std::uint8_t> j = answer;
  const bool block = answer.size() == kClosingLength;
  if (block) {
    j[5] = kKbBStopFault;
  } else {
    for (std::size_t i = 17; i + 1 < j.size(); ++i) j[i] = 0x7F;
  }
  switch (kind) {
    case JunkFrame::OtherAddress: j[3] = 0x02; break;
    case JunkFrame::BrokenFraming: j.pop_back(); break;
    case JunkFrame::TooShort: {
      // Ends before the last byte the program reads: the code (5), the model byte (17), the number's last
      // septet (21) or the name's last byte (28).
      const std::size_t cut = block ? 5 : answer.size() == 19 ? 17 : answer.size() - 2;
      j.resize(cut);
      j.push_back(kEnd);
      break;
    }
    case JunkFrame::OtherCode:
      if (block) return {};
      j[13] ^= 0x01;
      break;
    case JunkFrame::OtherMaker: j[1] = 0x43; break;
  }
  return j;
}

std::size_t VirtualKeyboard::CountReceivedB(int key) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::size_t n = 0;
  for (const auto& m : received_) {
    if (m.size() >= 11 && m[2] == kAddressHigh && m[3] == kAddressLow && KeyBOf(m) == key) ++n;
  }
  return n;
}

}  // namespace su::test
