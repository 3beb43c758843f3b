#pragma once
// The rules Tauschwerk works with while it is loaded, shared between the
// client's main thread (ProcessTOut) and the editor's Setup thread.

#include "rules.h"

namespace tauschwerk {

RuleList currentRules();
void replaceRules(RuleList rules);

}  // namespace tauschwerk
