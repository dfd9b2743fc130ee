// The level trace drawn into the paint box's image with plain pixel writes: a line from the
// middle of the left edge to each sample's point in turn, over a blank box, pixel for pixel as
// the painter's one-pixel lines draw them. The painter spent a tenth of a millisecond on the
// 240 lines of each block, 33 blocks a second, on the window's thread.
//
// Between two neighbouring points (i - 1, a) and (i, b) the painter's line fills column i - 1
// from a up to, not including, b (a alone when they are level) and puts b in column i; the first
// line, from the middle to the first point, is the column between them, both ends included.
// Whatever falls outside the image is left out.
#pragma once

#include <QImage>
#include <QRect>

namespace media {
struct TLevelTrace;
}  // namespace media

namespace ui {

// `canvas` is a 32-bit RGB image. Returns the rows drawn on, the image's whole width (empty
// when the trace misses the image).
QRect DrawTrace(QImage& canvas, const media::TLevelTrace& trace);

}  // namespace ui
