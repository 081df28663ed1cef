#include <algorithm>
#include <chrono>
#include <utility>
#include <vector>

#include "app/core/compose.h"
#include "app/core/correction.h"
#include "app/core/stereofile.h"
#include "pgraphic/formats/jpeg.h"
#include "pgraphic/formats/registry.h"
#include "platform/stream.h"

namespace {

using TClock = std::chrono::steady_clock;

// Adds the time since the last call to one of the totals (when timing).
class TStopwatch {
public:
  explicit TStopwatch(bool on) : FOn(on), FLast(on ? TClock::now() : TClock::time_point{}) {}
  void Add(double& total) {
    if (!FOn) return;
    const TClock::time_point now = TClock::now();
    total += std::chrono::duration<double>(now - FLast).count();
    FLast = now;
  }

private:
  bool FOn;
  TClock::time_point FLast;
};

// True when the registry loads the file with the JPEG reader.
bool ReadAsJPEG(TStream& stream, const std::string& fileName) {
  return dynamic_cast<const TJPGFileFormatReader*>(
             PGFormatRegistry().FindReader(stream, ExtractFormatExtension(fileName))) != nullptr;
}

// A row buffer with room behind the pixels, as picture rows have, for the
// row kernels' wide loads.
std::vector<uint8_t> RowBuffer(int32_t width) { return std::vector<uint8_t>(3 * static_cast<size_t>(width) + 64); }

} // namespace

std::optional<TComposeFilesResult> ComposeFilesByRows(const TComposeFilesJob& job, TRowComposeTimes* times) {
  TAnaglyphRows roles;
  if (job.RightName.empty() || job.AutoAlign || job.Zoom > 0 || IsStereoPairFileName(job.OutputName) ||
      !AnaglyphRowsOf(job.Mode, TCommonArea{}, roles))
    return std::nullopt;
  TRowComposeTimes spent;
  try {
    if (!dynamic_cast<const TJPGFileFormatWriter*>(
            PGFormatRegistry().FindWriter(ExtractFormatExtension(job.OutputName))))
      return std::nullopt;
    const TPairAlignment alignment = JobAlignment(job);
    const TRightCorrection correction = RightCorrection(alignment);
    if (correction.Tilt || correction.Automatic || correction.Resample) return std::nullopt;

    TStopwatch watch(times != nullptr);
    TFileStream leftFile(job.LeftName, fmOpenRead), rightFile(job.RightName, fmOpenRead);
    if (!ReadAsJPEG(leftFile, job.LeftName) || !ReadAsJPEG(rightFile, job.RightName)) return std::nullopt;
    TJPEGRowReader left(leftFile), right(rightFile);
    if (!left.Start() || !right.Start()) return std::nullopt;
    TCommonArea area = CommonArea(left.Width(), left.Height(), right.Width(), right.Height(), alignment.Left.Point,
                                  alignment.Right.Point);
    if (job.CropWedges) area = WedgeFreeArea(area, right.Width(), right.Height(), correction);
    AnaglyphRowsOf(job.Mode, area, roles);
    TJPEGRowReader* l = &left;
    TJPEGRowReader* r = &right;
    if (roles.Swapped) std::swap(l, r);
    // The area lies inside both pictures (the composition gives the
    // background outside them, which only the whole-picture path does).
    const TCommonArea& a = roles.Area;
    const int64_t rx = static_cast<int64_t>(a.X0) - a.Dx, ry = static_cast<int64_t>(a.Y0) - a.Dy;
    auto inside = [&a](const TJPEGRowReader* p, int64_t x, int64_t y) {
      return x >= 0 && y >= 0 && x + a.W <= p->Width() && y + a.H <= p->Height();
    };
    if (a.W <= 0 || a.H <= 0 || !inside(l, a.X0, a.Y0) || !inside(r, rx, ry)) return std::nullopt;
    watch.Add(spent.Load);

    std::vector<uint8_t> lRow = RowBuffer(l->Width()), rRow = RowBuffer(r->Width()), out = RowBuffer(a.W);
    // Reads rows of p up to and including row y.
    auto readTo = [](TJPEGRowReader* p, int64_t y, std::vector<uint8_t>& row) {
      while (p->NextRow() <= y) p->ReadRow(row.data());
    };
    TSafeFileStream file(job.OutputName);
    TJPEGRowWriter writer(file, a.W, a.H);
    watch.Add(spent.Save);
    for (int32_t y = 0; y < a.H; ++y) {
      readTo(l, static_cast<int64_t>(a.Y0) + y, lRow);
      readTo(r, ry + y, rRow);
      watch.Add(spent.Load);
      AnaglyphRow(roles.Colour, lRow.data() + 3 * static_cast<size_t>(a.X0), rRow.data() + 3 * static_cast<size_t>(rx),
                  out.data(), a.W);
      watch.Add(spent.Compose);
      writer.WriteRow(out.data());
      watch.Add(spent.Save);
    }
    // The rest of both files is decoded as a load does, so that a warning
    // there still leaves the pair to the whole-picture path.
    readTo(l, l->Height() - 1, lRow);
    readTo(r, r->Height() - 1, rRow);
    l->Finish();
    r->Finish();
    watch.Add(spent.Load);
    writer.Finish();
    file.Commit();
    watch.Add(spent.Save);
    if (times) *times = spent;
    return TComposeFilesResult{true, a.W, a.H};
  } catch (...) {
    return std::nullopt;
  }
}
