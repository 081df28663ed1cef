#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "pgraphic/core/endian.h"

namespace {

// Every helper against a fixed byte pattern (with a high bit set, so sign
// extension would show), and the run-time byte order against both orders.
TEST(Endian, FixedPatternsAndRuntimeOrder) {
  const uint8_t b[4] = {0x12, 0x34, 0x56, 0xF8};
  EXPECT_EQ(pg::GetLE16(b + 2), 0xF856u);
  EXPECT_EQ(pg::GetBE16(b + 2), 0x56F8u);
  EXPECT_EQ(pg::GetLE32(b), 0xF8563412u);
  EXPECT_EQ(pg::GetBE32(b), 0x123456F8u);

  uint8_t o[4] = {};
  pg::PutLE32(o, 0xF8563412u);
  EXPECT_EQ(0, std::memcmp(o, b, 4));
  pg::PutBE32(o, 0x123456F8u);
  EXPECT_EQ(0, std::memcmp(o, b, 4));
  // 16-bit stores keep the low half and touch only their two bytes.
  pg::PutLE16(o, 0xABCD3412u);
  pg::PutBE16(o + 2, 0xFFFF56F8u);
  EXPECT_EQ(0, std::memcmp(o, b, 4));

  for (bool big : {false, true}) {
    const pg::TByteOrder order{big};
    uint8_t r[4];
    order.Put32(r, 0x89ABCDEFu);
    EXPECT_EQ(r[0], big ? 0x89 : 0xEF);
    EXPECT_EQ(order.Get32(r), 0x89ABCDEFu);
    order.Put16(r, 0x1F2E);
    EXPECT_EQ(r[0], big ? 0x1F : 0x2E);
    EXPECT_EQ(order.Get16(r), 0x1F2Eu);
  }
}

} // namespace
