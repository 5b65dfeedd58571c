#include "gui/sharing/selection_state.h"

namespace quarvel {

SelectionState selectionState;

void ResetSelectionState() { selectionState = SelectionState{}; }

}  // namespace quarvel
