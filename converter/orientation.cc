#include "converter/orientation.h"

namespace ostrel {
namespace {

// Each orientation as three choices: whether display rows are stored
// columns (5 to 8), and whether stored rows and stored columns are taken
// in reverse. Indexed by orientation - 1.
struct Placement {
  bool transposed;
  bool reversed_rows;
  bool reversed_columns;
  bool operator==(const Placement&) const = default;
};
constexpr Placement kPlacements[8] = {
    {false, false, false}, {false, false, true}, {false, true, true}, {false, true, false},
    {true, false, false},  {true, true, false},  {true, true, true},  {true, false, true}};

}  // namespace

uint16_t TurnedClockwise(uint16_t orientation, uint16_t degrees) {
  Placement placement = kPlacements[orientation - 1];
  for (uint16_t turned = 0; turned < degrees; turned += 90) {
    // A quarter turn clockwise: the new top row is the old left column read
    // upwards, so the old display's rows, reversed, become columns.
    placement = placement.transposed
                    ? Placement{false, placement.reversed_rows, !placement.reversed_columns}
                    : Placement{true, !placement.reversed_rows, placement.reversed_columns};
  }
  for (uint16_t candidate = 1; candidate <= 8; ++candidate) {
    if (kPlacements[candidate - 1] == placement) {
      return candidate;
    }
  }
  return 1;  // not reached: the eight placements are all there are
}

uint16_t Mirrored(uint16_t orientation) {
  Placement placement = kPlacements[orientation - 1];
  // Display columns are stored columns, or stored rows when transposed.
  if (placement.transposed) {
    placement.reversed_rows = !placement.reversed_rows;
  } else {
    placement.reversed_columns = !placement.reversed_columns;
  }
  for (uint16_t candidate = 1; candidate <= 8; ++candidate) {
    if (kPlacements[candidate - 1] == placement) {
      return candidate;
    }
  }
  return 1;  // not reached
}

bool ReversesStoredRows(uint16_t orientation) { return kPlacements[orientation - 1].reversed_rows; }

bool ReversesStoredColumns(uint16_t orientation) {
  return kPlacements[orientation - 1].reversed_columns;
}

PixelRect StoredRect(uint16_t orientation, ImageSize stored, PixelRect shown) {
  const Placement placement = kPlacements[orientation - 1];
  PixelRect rect =
      placement.transposed ? PixelRect{shown.y, shown.x, shown.height, shown.width} : shown;
  if (placement.reversed_columns) {
    rect.x = stored.width - rect.x - rect.width;
  }
  if (placement.reversed_rows) {
    rect.y = stored.height - rect.y - rect.height;
  }
  return rect;
}

ImageSize DisplaySize(uint16_t orientation, ImageSize stored) {
  return orientation >= 5 ? ImageSize{stored.height, stored.width} : stored;
}

}  // namespace ostrel
