#pragma once

#include <cstdint>

namespace quarvel {

// The capture selection, shared by the capture overlay and the screenshot
// window: one global, all zero at start, put back to zero by
// ResetSelectionState.
struct SelectionState {
  int32_t dragging = 0;  // only bit 0 is tested
  int32_t startX = 0;
  int32_t startY = 0;
  int32_t endX = 0;
  int32_t endY = 0;
};

extern SelectionState selectionState;

void ResetSelectionState();

}  // namespace quarvel
