#pragma once
// The signaller's selection and signalling modes, which change what the next clicks mean.

#include <string>

namespace kestra {

class TSIG;
class TSSIObject;

// The pop-up menu a click asked the window to open.
enum class PopupMenuKind { None, Signal, Berth };

struct TOperatorState {
    // The entrance signal chosen by the first click of a route request.
    TSIG* SelectedEntrance = nullptr;
    // The signal whose pop-up menu is open.
    TSIG* SelectedSignal = nullptr;
    // The berth chosen by the last click, and its description then.
    TSSIObject* SelectedBerth = nullptr;
    std::string SelectedDescription;
    bool OverrideMode = false;
    bool ReminderMode = false;
    bool IsolationMode = false;
    bool InterposeMode = false;
    bool CancelTDMode = false;
    std::string InterposeDescription;
    PopupMenuKind PopupMenu = PopupMenuKind::None;
};

}  // namespace kestra
