#pragma once
// The rule editor behind Tauschwerk's Setup, and its preview.

#include <kavel/plugin.h>

#include <string>

class QTextEdit;

namespace tauschwerk {

// Setup: opens "KAVEL > Makro Editor" on the GUI thread and waits on the
// calling thread until the user closes it; "Speichern und Ende" then
// replaces the rules, on this thread. While an editor is open another call
// brings it to the front and returns at once. Returns 0.
uint32_t runEditor(KavelClientState* client);

// Empties preview and shows text in it as the chat would format it: bold
// and italic switches, colour codes, URL runs bold and underlined in black.
void RenderPreview(const std::string& text, QTextEdit* preview);

}  // namespace tauschwerk
