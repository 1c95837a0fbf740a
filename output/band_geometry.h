// Band geometry of the large-image mode: how a plane is cut into horizontal
// bands, which source rows each band reads (with its overlap) and which
// output rows it writes.
//
// Rows are counted in the plane's output orientation (after any turn) and in
// pixels; the scale is output rows per source row (printer resolution over the
// plane's resolution). Everything here is a pure function of its arguments.
//
// The bands join exactly: band b writes output rows [b x Hb, b x Hb + count),
// the last band writes up to H. A band resamples its crop in the whole
// plane's coordinates (imaging::ResampleRows) into the output rows whose
// centres lie in the crop, its strip, and writes the rows of its own; each
// written row has the filter taps the whole plane gives it, because the crop
// reaches past them by the overlap (at least 16 source rows, more when a
// strong reduction widens the filter). So stripe edges land on the rows of
// sequential mode at any scale (no gap, doubled row, seam or shift). Crops
// stay inside the plane, also for planes with fewer than 16 rows per band.
#pragma once

#include <cstdint>

namespace qm {

inline constexpr uint32_t kBandCount = 96;
inline constexpr uint32_t kBandOverlap = 16;  // source rows above and below an inner band edge
inline constexpr int kBandWorkers = 8;

// Size of `n` pixels resampled from `from` to `to` pixels per inch, rounded as
// the imaging layer's Resample rounds it.
uint32_t ResampledSize(uint32_t n, double from, double to);

struct BandLayout {
  uint32_t sourceRows = 0;  // rows of the plane
  double scale = 1.0;       // output rows per source row
  uint32_t outputRows = 0;  // H
  uint32_t bandRows = 0;    // Hb: output rows of every band but the last
};

// H is the resampled height of the plane; Hb the resampled height of
// (rows div 96) source rows, kept at most H div 96 so the last band is never
// shorter than the others.
BandLayout MakeBandLayout(uint32_t sourceRows, double sourceResolution, double targetResolution);

struct BandPlan {
  uint32_t cropTop = 0;     // first source row read
  uint32_t cropRows = 0;    // source rows read (the band with its overlap)
  uint32_t outFirst = 0;    // first output row written: b x Hb
  uint32_t outCount = 0;    // output rows written (0: the band is empty)
  uint32_t stripFirst = 0;  // first output row resampled and halftoned
  uint32_t stripRows = 0;   // output rows resampled: the written ones and the overlap's
};

// The plan of band b (0..95).
BandPlan PlanBand(const BandLayout& layout, uint32_t band);

// Rows to drop from the top of a band's strip (resampled into stripRows rows
// from stripFirst on): outFirst - stripFirst.
uint32_t DroppedRows(const BandPlan& plan);

// Source rows of overlap above and below a band at `scale` output rows per
// source row: 16, or more where the reducing filter reaches further.
uint32_t BandOverlap(double scale);

}  // namespace qm
