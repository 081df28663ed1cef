#pragma once

// Helpers shared by the format tests: runs over corrupt input (cut files,
// changed bytes) and checks of files written by other programs (netpbm,
// ImageMagick), with the source images those files are made from.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "pgraphic/core/exceptions.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/formats/fileformat.h"
#include "pgraphic/formats/settings.h"
#include "platform/messagebox.h"
#include "platform/stream.h"

namespace fmttest {

using Bytes = std::vector<uint8_t>;

// A whole file; the stream's exception when it cannot be opened.
inline Bytes ReadFileBytes(const std::string& path) {
  TFileStream f(path, fmOpenRead);
  Bytes data(static_cast<size_t>(f.Size()));
  f.ReadBuffer(data.data(), static_cast<int64_t>(data.size()));
  return data;
}

// ------------------------------------------------------------ memory round trips

template <class Writer>
Bytes WriteToMemory(TPixelGraphic& g) {
  TMemoryStream out;
  Writer().WriteGraphic(out, g);
  return out.Data();
}

template <class Reader>
void ReadFromMemory(const Bytes& data, TPixelGraphic& g, int index = 0) {
  TReadOnlyMemoryStream in(data.data(), static_cast<int64_t>(data.size()));
  Reader().ReadGraphic(in, g, index);
}

template <class Reader>
TPGFileInfo InfoFromMemory(const Bytes& data, int index = 0) {
  TReadOnlyMemoryStream in(data.data(), static_cast<int64_t>(data.size()));
  TPGFileInfo info;
  Reader().GetInfo(in, index, info);
  return info;
}

inline void Append(Bytes& a, const Bytes& b) { a.insert(a.end(), b.begin(), b.end()); }

// The message of the exception of type Error that fn raises ("" when it raises none).
template <class Error, class F>
std::string ErrorMessage(F&& fn) {
  try {
    fn();
  } catch (const Error& e) {
    return e.Message();
  }
  return "";
}

// Expects f to raise E with exactly this message.
template <typename E, typename F>
void ExpectMessage(F&& f, const std::string& message) {
  try {
    f();
    ADD_FAILURE() << "no exception, expected: " << message;
  } catch (const E& e) {
    EXPECT_EQ(std::string(e.what()), message);
  }
}

// ------------------------------------------------------------ message boxes

// Scripted message boxes: every call is recorded and answered with Answer.
// Format settings and the message language are reset around each test.
struct TBoxCall {
  std::string text, caption;
  platform::TMsgButtons buttons;
  platform::TMsgIcon icon;
};

class ScriptedBoxTest : public ::testing::Test {
protected:
  void SetUp() override {
    PGResetFormatSettings();
    MessageLanguage = 0;
    FOldHook = platform::SetMessageBoxHook([this](const std::string& text, const std::string& caption,
                                                  platform::TMsgButtons buttons, platform::TMsgIcon icon) {
      Calls.push_back({text, caption, buttons, icon});
      return Answer;
    });
  }
  void TearDown() override {
    platform::SetMessageBoxHook(FOldHook);
    PGResetFormatSettings();
    MessageLanguage = 0;
  }
  // A file that raises one warning, read under every warning action in
  // turn: refusing an OK/Cancel box aborts; accepting it asks once and loads
  // the image (width pixels wide); an OK box cannot be refused; ignoring asks
  // nothing; raising fails with "<tag>: <warning>" and asks nothing. Error is
  // the format's exception.
  template <class Error, class F>
  void ExpectWarningActions(TPixelGraphic& g, F&& read, const std::string& tag, const std::string& warning,
                            int width) {
    g.SetReadWarningAction(pgwaOKCancelBox);
    Answer = platform::mrCancel;
    EXPECT_EQ(ErrorMessage<Error>(read), tag + ": Operation aborted on user request");
    ASSERT_EQ(Calls.size(), 1u);
    EXPECT_EQ(Calls[0].text, warning);
    EXPECT_EQ(Calls[0].caption, tag + " Warning");
    EXPECT_EQ(Calls[0].buttons, platform::TMsgButtons::OKCancel);
    EXPECT_EQ(Calls[0].icon, platform::TMsgIcon::Warning);

    // OK goes on: the image loads, later warnings are only counted.
    Calls.clear();
    Answer = platform::mrOk;
    EXPECT_EQ(ErrorMessage<Error>(read), "");
    EXPECT_EQ(Calls.size(), 1u);
    EXPECT_EQ(g.Width(), width);

    Calls.clear();
    g.SetReadWarningAction(pgwaOKBox);
    Answer = platform::mrCancel;
    EXPECT_EQ(ErrorMessage<Error>(read), "");
    ASSERT_EQ(Calls.size(), 1u);
    EXPECT_EQ(Calls[0].buttons, platform::TMsgButtons::OK);

    Calls.clear();
    g.SetReadWarningAction(pgwaIgnore);
    EXPECT_EQ(ErrorMessage<Error>(read), "");
    EXPECT_TRUE(Calls.empty());

    g.SetReadWarningAction(pgwaRaise);
    EXPECT_EQ(ErrorMessage<Error>(read), tag + ": " + warning);
    EXPECT_TRUE(Calls.empty());
  }

  std::vector<TBoxCall> Calls;
  int Answer = platform::mrOk;

private:
  platform::TMessageBoxHook FOldHook;
};

// ------------------------------------------------------------ damaged files

// The file cut every cutStep bytes, then count copies with 1 + i % flipsMod
// single bits flipped (a linear congruential sequence from seed), never in the
// first keep bytes.
inline std::vector<Bytes> DamagedVariants(const Bytes& data, size_t cutStep, uint32_t seed, int count, int flipsMod,
                                          size_t keep = 0) {
  std::vector<Bytes> variants;
  for (size_t cut = 0; cut < data.size(); cut += cutStep) variants.emplace_back(data.begin(), data.begin() + static_cast<long>(cut));
  for (int i = 0; i < count; ++i) {
    Bytes v = data;
    for (int k = 0; k < 1 + i % flipsMod; ++k) {
      seed = seed * 1103515245u + 12345u;
      v[keep + (seed >> 8) % (v.size() - keep)] ^= static_cast<uint8_t>(1u << ((seed >> 4) & 7));
    }
    variants.push_back(std::move(v));
  }
  return variants;
}

// Reads every variant with every warning action: each ends in the reader's
// exception (its message starting with prefix), an image exception (an absurd
// size from a changed header byte) or a (partial) image.
template <class Reader, class Error>
void ReadDamagedVariants(const std::vector<Bytes>& variants, const std::string& prefix) {
  for (TPGWarningAction action : {pgwaIgnore, pgwaOKBox, pgwaRaise}) {
    for (const auto& v : variants) {
      TPixelGraphic g;
      g.SetReadWarningAction(action);
      try {
        ReadFromMemory<Reader>(v, g);
      } catch (const Error& e) {
        EXPECT_EQ(e.Message().rfind(prefix, 0), 0u);
      } catch (const EPixelGraphic&) {
      }
      try {
        InfoFromMemory<Reader>(v);
      } catch (const Error&) {
      }
    }
  }
}

// Every file of the folder whose path passes keep, read whole.
template <class Keep>
std::vector<Bytes> ReadSeedFiles(const std::string& dir, Keep keep) {
  std::vector<Bytes> seeds;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    if (keep(e.path())) seeds.push_back(ReadFileBytes(e.path().string()));
  return seeds;
}

// One attempt on corrupt data: read and inspect; anything but the reader's
// exception, the stream's read error or a (partial) image fails the test.
template <class Reader, class ReaderError>
void AttemptRead(const Bytes& data) {
  TPixelGraphic g;
  try {
    TReadOnlyMemoryStream s(data.data(), static_cast<int64_t>(data.size()));
    Reader().ReadGraphic(s, g, 0);
  } catch (const ReaderError&) {
  } catch (const EReadError&) {
  } catch (const EPixelGraphic& e) {
    // The image refuses a size beyond the pixel-memory limit.
    ASSERT_EQ(std::string(e.what()), GetMessage1(msgFailed, "CreateDIBSection"));
  }
  if (!g.Empty()) (void)g.PixelColors(g.Width() - 1, g.Height() - 1);
  TPGFileInfo info;
  try {
    TReadOnlyMemoryStream s(data.data(), static_cast<int64_t>(data.size()));
    Reader().GetInfo(s, 0, info);
  } catch (const ReaderError&) {
  } catch (const EReadError&) {
  }
}

// Lowers the pixel-memory limit so that huge claims fail fast, and restores it.
class BadInputTest : public ::testing::Test {
protected:
  void SetUp() override { PGMaxImageBytes = 16 << 20; }
  void TearDown() override { PGMaxImageBytes = std::numeric_limits<int32_t>::max(); }
};

// Hands attempt every seed cut at many lengths, with single bytes set to
// extremes or their low bit flipped, and 300 random mutations of each seed.
template <class Attempt>
void CutAndChangeBytes(const std::vector<Bytes>& seeds, Attempt attempt) {
  std::mt19937 rng(1234);
  for (const Bytes& seed : seeds) {
    for (size_t len = 0; len < seed.size(); len += (len < 64 ? 1 : 7)) attempt(Bytes(seed.begin(), seed.begin() + static_cast<long>(len)));
    for (size_t pos = 0; pos < seed.size(); pos += (pos < 64 ? 1 : 13))
      for (uint8_t v : {0x00, 0xFF, 0x80, 0x7F}) {
        Bytes m = seed;
        m[pos] = v;
        attempt(m);
        m[pos] = static_cast<uint8_t>(seed[pos] ^ 0x01);
        attempt(m);
      }
    for (int i = 0; i < 300; ++i) {
      Bytes m = seed;
      for (int k = 0; k < 4; ++k) m[rng() % m.size()] = static_cast<uint8_t>(rng());
      if (rng() % 2) m.resize(rng() % m.size());
      attempt(m);
    }
  }
}

// Source images of the conformance tests (the same formulas made the files
// kept in tests/data).
namespace conformance {

constexpr int W = 37, H = 23;

inline TColorRef Ref24(int x, int y) { return RGBColor((x * 7) % 256, (y * 11) % 256, (x * y * 3 + 40) % 256); }
inline const TColorRef Pal16[16] = {
    RGBColor(0, 0, 0),     RGBColor(255, 255, 255), RGBColor(255, 0, 0),    RGBColor(0, 255, 0),
    RGBColor(0, 0, 255),   RGBColor(255, 255, 0),   RGBColor(0, 255, 255),  RGBColor(255, 0, 255),
    RGBColor(128, 64, 32), RGBColor(10, 200, 90),   RGBColor(90, 90, 90),   RGBColor(200, 100, 250),
    RGBColor(33, 66, 99),  RGBColor(250, 128, 0),   RGBColor(17, 170, 34),  RGBColor(64, 0, 128)};
inline TColorRef Ref16(int x, int y) { return Pal16[(x / 3 + y / 2) % 16]; }
inline unsigned GreyValue(int x, int y) { return static_cast<unsigned>(x * 6 + y * 5) % 256; }
inline TColorRef RefGrey(int x, int y) { return RGBColor(GreyValue(x, y), GreyValue(x, y), GreyValue(x, y)); }
inline bool Black(int x, int y) { return (x + y) % 3 == 0 || x == y; }
inline TColorRef Ref2(int x, int y) { return Black(x, y) ? RGBColor(0, 0, 0) : RGBColor(255, 255, 255); }

// Writes src24.ppm (Ref24), src16.ppm (Ref16), srcgrey.pgm (GreyValue) and
// src2.pbm (Black) into dir.
inline void WriteSources(const std::string& dir) {
  std::ofstream p6(dir + "/src24.ppm", std::ios::binary), p16(dir + "/src16.ppm", std::ios::binary),
      p5(dir + "/srcgrey.pgm", std::ios::binary), p4(dir + "/src2.pbm", std::ios::binary);
  const std::string size = std::to_string(W) + " " + std::to_string(H) + "\n";
  p6 << "P6\n" << size << "255\n";
  p16 << "P6\n" << size << "255\n";
  p5 << "P5\n" << size << "255\n";
  p4 << "P4\n" << size;
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      const TColorRef a = Ref24(x, y), b = Ref16(x, y);
      p6.put(static_cast<char>(GetRValue(a))).put(static_cast<char>(GetGValue(a))).put(static_cast<char>(GetBValue(a)));
      p16.put(static_cast<char>(GetRValue(b))).put(static_cast<char>(GetGValue(b))).put(static_cast<char>(GetBValue(b)));
      p5.put(static_cast<char>(GreyValue(x, y)));
    }
    for (int x0 = 0; x0 < W; x0 += 8) {
      unsigned byte = 0;
      for (int k = 0; k < 8; ++k) byte = (byte << 1) | (x0 + k < W && Black(x0 + k, y) ? 1u : 0u);
      p4.put(static_cast<char>(byte));
    }
  }
}

// Whether every named program is on the path.
inline bool ToolsPresent(std::initializer_list<const char*> tools) {
  std::string cmd;
  for (const char* t : tools) cmd += std::string(cmd.empty() ? "" : " && ") + "command -v " + t + " >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

// Reads the file made for variant v: a variant without a reference image must
// be refused with the message refusal; any other must come back as its
// reference image at v.bitCount.
template <class Reader, class Error, class Variant>
void CheckReadOrRefused(const std::string& path, const Variant& v, const char* refusal) {
  SCOPED_TRACE(path);
  TFileStream s(path, fmOpenRead);
  TPixelGraphic g;
  if (!v.ref) {
    try {
      Reader().ReadGraphic(s, g, 0);
      ADD_FAILURE() << "accepted";
    } catch (const Error& e) {
      EXPECT_STREQ(e.what(), refusal);
    }
    return;
  }
  Reader().ReadGraphic(s, g, 0);
  ASSERT_EQ(g.Width(), W);
  ASSERT_EQ(g.Height(), H);
  ASSERT_EQ(g.BitCount(), v.bitCount);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) ASSERT_EQ(g.PixelColors(x, y), v.ref(x, y)) << x << "," << y;
}

// Checks every variant whose file is kept in tests/data/<folder>; returns how many were there.
template <class Variant, size_t N, class Check>
int CheckKeptFiles(const std::string& folder, const Variant (&variants)[N], Check check) {
  int checked = 0;
  for (const Variant& v : variants) {
    const std::string path = std::string(ZWILLO_TEST_DATA) + "/" + folder + "/" + v.name;
    if (!std::filesystem::exists(path)) continue;
    check(path, v);
    ++checked;
  }
  return checked;
}

// Writes the sources into a fresh temporary folder, runs each variant's
// command there and checks the file it made; the folder is removed afterwards.
template <class Variant, size_t N, class Check>
void MakeAndCheckFiles(const std::string& prefix, const Variant (&variants)[N], Check check) {
  std::string dir = ::testing::TempDir() + prefix + "XXXXXX";
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  struct Remove {
    const std::string& dir;
    ~Remove() {
      std::error_code ec;
      std::filesystem::remove_all(dir, ec);
    }
  } remove{dir};
  WriteSources(dir);
  for (const Variant& v : variants) {
    const std::string cmd = "cd '" + dir + "' && " + v.command + " 2>/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << v.command;
    check(dir + "/" + v.name, v);
  }
}

}  // namespace conformance

}  // namespace fmttest
