// Seven-bit packing and CRC-32: known answers, the inverse property and the seven-bit guarantee.
#include "midi/seven_bit.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "tests/support/case_name.h"

namespace su {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Ascii(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes Pack(const Bytes& in) {
  // One spare byte past the promised length shows a write beyond it.
  Bytes out(PackedLength(static_cast<std::uint32_t>(in.size())) + 1, 0xAA);
  const std::uint32_t n = PackSevenBit(out.data(), in.data(), static_cast<std::uint32_t>(in.size()));
  EXPECT_EQ(out.back(), 0xAA) << "wrote past the packed length";
  out.resize(n);
  return out;
}

Bytes Unpack(const Bytes& in) {
  Bytes out(in.size() + 1, 0xAA);
  out.resize(UnpackSevenBit(out.data(), in.data(), static_cast<std::uint32_t>(in.size())));
  return out;
}

struct PackingCase {
  const char* name;
  Bytes plain;
  Bytes packed;
};

void PrintTo(const PackingCase& c, std::ostream* os) { *os << c.name; }

class PackingVectors : public ::testing::TestWithParam<PackingCase> {};

TEST_P(PackingVectors, PacksAndUnpacksToTheKnownBytes) {
  const PackingCase& c = GetParam();
  EXPECT_EQ(Pack(c.plain), c.packed);
  EXPECT_EQ(Unpack(c.packed), c.plain);
}

INSTANTIATE_TEST_SUITE_P(
    KnownAnswers, PackingVectors,
    ::testing::Values(PackingCase{"abc", Ascii("abc"), {0x30, 0x58, 0x4C, 0x30}},
                      PackingCase{"ABCDEFG", Ascii("ABCDEFG"), {0x20, 0x50, 0x48, 0x34, 0x22, 0x15, 0x0C, 0x47}},
                      PackingCase{"SevenFF", Bytes(7, 0xFF), Bytes(8, 0x7F)},
                      PackingCase{"abcdefghi", Ascii("abcdefghi"),
                                  {0x30, 0x58, 0x4C, 0x36, 0x23, 0x15, 0x4C, 0x67, 0x34, 0x1A, 0x20}},
                      PackingCase{"Size4096", {0x00, 0x00, 0x10, 0x00}, {0x00, 0x00, 0x02, 0x00, 0x00}},
                      PackingCase{"Empty", {}, {}}),
    test::NameFrom(&PackingCase::name));

struct LengthCase {
  std::uint32_t in;
  std::uint32_t packed;
  std::uint32_t unpacked;  // what unpacking `in` seven-bit bytes gives
};

void PrintTo(const LengthCase& c, std::ostream* os) { *os << c.in << " bytes"; }

class Lengths : public ::testing::TestWithParam<LengthCase> {};

TEST_P(Lengths, WrittenCountsFollowTheGroupRule) {
  const LengthCase& c = GetParam();
  const Bytes in(c.in, 0x55);
  EXPECT_EQ(Pack(in).size(), c.packed);
  EXPECT_EQ(Unpack(in).size(), c.unpacked);
}

INSTANTIATE_TEST_SUITE_P(GroupBoundaries, Lengths,
                         ::testing::Values(LengthCase{0, 0, 0}, LengthCase{1, 2, 0}, LengthCase{2, 3, 1},
                                           LengthCase{7, 8, 6}, LengthCase{8, 10, 7}, LengthCase{9, 11, 7},
                                           LengthCase{10, 12, 8}, LengthCase{14, 16, 12},
                                           LengthCase{126, 144, 110}, LengthCase{144, 165, 126}),
                         [](const ::testing::TestParamInfo<LengthCase>& info) {
                           return "Of" + std::to_string(info.param.in) + "Bytes";
                         });

TEST(SevenBit, RoundTripsEveryLengthUpTo300WithBit7AlwaysClear) {
  std::mt19937 random(12345);
  for (std::uint32_t n = 0; n <= 300; ++n) {
    Bytes plain(n);
    for (auto& b : plain) b = static_cast<std::uint8_t>(random());
    // Every other length uses all-ones bytes: the worst case for a bit leaking into bit 7.
    if (n % 2 == 1) std::fill(plain.begin(), plain.end(), 0xFF);
    const Bytes packed = Pack(plain);
    ASSERT_EQ(packed.size(), PackedLength(n)) << "length " << n;
    for (std::size_t i = 0; i < packed.size(); ++i) ASSERT_EQ(packed[i] & 0x80, 0) << "length " << n << " byte " << i;
    ASSERT_EQ(Unpack(packed), plain) << "length " << n;
  }
}

TEST(SevenBit, PackingIsTheBitStreamCutIntoSevens) {
  // Independent reference: walk the bits one at a time.
  std::mt19937 random(99);
  Bytes plain(50);
  for (auto& b : plain) b = static_cast<std::uint8_t>(random());
  Bytes expected;
  std::uint32_t bits = static_cast<std::uint32_t>(plain.size()) * 8;
  for (std::uint32_t start = 0; start < bits; start += 7) {
    std::uint8_t piece = 0;
    for (std::uint32_t k = 0; k < 7; ++k) {
      const std::uint32_t bit = start + k;
      const int value = bit < bits ? (plain[bit / 8] >> (7 - bit % 8)) & 1 : 0;
      piece = static_cast<std::uint8_t>((piece << 1) | value);
    }
    expected.push_back(piece);
  }
  EXPECT_EQ(Pack(plain), expected);
}

struct CrcCase {
  const char* name;
  Bytes data;
  std::uint32_t crc;
};

void PrintTo(const CrcCase& c, std::ostream* os) { *os << c.name; }

class CrcVectors : public ::testing::TestWithParam<CrcCase> {};

TEST_P(CrcVectors, MatchesTheKnownValue) {
  const CrcCase& c = GetParam();
  EXPECT_EQ(Crc32(c.data.data(), static_cast<std::uint32_t>(c.data.size())), c.crc);
}

INSTANTIATE_TEST_SUITE_P(KnownAnswers, CrcVectors,
                         ::testing::Values(CrcCase{"CheckValue", Ascii("123456789"), 0xCBF43926u},
                                           CrcCase{"abc", Ascii("abc"), 0x352441C2u},
                                           CrcCase{"Empty", {}, 0u},
                                           CrcCase{"OneZeroByte", {0x00}, 0xD202EF8Du},
                                           CrcCase{"Fox", Ascii("The quick brown fox jumps over the lazy dog"),
                                                   0x414FA339u}),
                         test::NameFrom(&CrcCase::name));

}  // namespace
}  // namespace su
