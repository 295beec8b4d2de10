// The window looks selectable by index (0 = the default look).
#pragma once

// Number of looks; an index outside 0..SkinCount()-1 selects the default look.
int SkinCount();
// Applies look `index` to the whole application.
void ApplySkin(int index);
