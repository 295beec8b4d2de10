#include "app/work_state.h"

namespace {

enum TChange : char { On, Off, Keep, IfRows };

// Rows: transitions in TWorkTransition order. Columns: groups in TWorkGroup order.
//                                     Add   RemRen  Clear   StartB  StartM  Stop  Pause Resume Output
constexpr TChange kTable[wtCount][wgCount] = {
    /* wtCreated     */ {On,   Off,    Off,    Off,    Off,    Off,  Off,  Off,   On},
    /* wtFileAdded   */ {Keep, On,     On,     On,     On,     Keep, Keep, Keep,  Keep},
    /* wtRowRemoved  */ {Keep, IfRows, IfRows, IfRows, IfRows, Keep, Keep, Keep,  Keep},
    /* wtListCleared */ {On,   Off,    Off,    Off,    Off,    Keep, Keep, Keep,  Keep},
    /* wtRunStarted  */ {Off,  Off,    Off,    Off,    Off,    On,   On,   Off,   Off},
    /* wtPaused      */ {Keep, Keep,   Keep,   Keep,   Keep,   Keep, Off,  On,    Keep},
    /* wtResumed     */ {Keep, Keep,   Keep,   Keep,   Keep,   Keep, On,   Off,   Keep},
    /* wtStopped     */ {Keep, Keep,   Keep,   On,     Keep,   Off,  Keep, Keep,  On},
    /* wtRunEnded    */ {Keep, Off,    On,     Keep,   Keep,   Off,  Off,  Off,   On},
};

}  // namespace

void TWorkState::Apply(TWorkTransition transition, bool hasRows) {
  for (int g = 0; g < wgCount; ++g) {
    switch (kTable[transition][g]) {
      case On: enabled_[g] = true; break;
      case Off: enabled_[g] = false; break;
      case IfRows: enabled_[g] = hasRows; break;
      case Keep: break;
    }
  }
}
